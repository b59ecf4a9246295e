#pragma once

// The SQLite file layer of the statistics database. Any user may have written
// the files beside a database (a shared sticky folder, or a file handed to
// the report), so SQLite is let to open and empty only the database and its
// own "-journal": never a super-journal or a write-ahead log (ours use
// neither, and a hostile journal may name any file as its super-journal to
// have it deleted), never a link or FIFO, and nothing is ever deleted.
//
// An existing rollback journal is opened without creating it (in a sticky
// folder fs.protected_regular refuses O_CREAT on another's file) and is
// emptied instead of deleted: an empty journal means the same to SQLite.
// Registered for the life of the program (or of the loaded library).
class GuardedVfs {
public:
    static const char* Name();
};
