#pragma once

// What a database path holds, as far as can be told without SQLite.
enum class DatabaseFileKind {
    Unusable,  // a link, FIFO, device or folder, or unreadable
    Missing,
    Empty,   // a regular file of no bytes: a new database
    SQLite,  // a regular file with SQLite's header
    Other,   // a regular file of some other format
};

// A database's files are checked before SQLite opens them: only a regular
// file is accepted (never a link, a FIFO that would block, or a device). With
// `create` a missing file is made empty, its owner's alone (0600), or when
// root makes it, 0640 with group lpadmin: the all-users database, which only
// the backend writes and the printing administrators may read.
DatabaseFileKind PrepareDatabaseFile(const char* path, bool create);
// As PrepareDatabaseFile without creating; `own` tells whether this process's
// user owns the file (only then may a reader trust the journal beside it).
DatabaseFileKind InspectDatabaseFile(const char* path, bool& own);
// True when nothing is at `path` or a regular file is, never a link or FIFO:
// the only files SQLite is let to open or empty beside a database.
bool IsRegularOrMissing(const char* path);
