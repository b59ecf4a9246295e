#pragma once

// The SQLite file layer of the statistics database. Any user may have written
// the files beside a database (a shared sticky folder, or a file handed to
// the report), so SQLite is let to open and empty only the database and its
// own "-journal": never a super-journal or a write-ahead log (ours use
// neither, and a hostile journal may name any file as its super-journal to
// have it deleted), never a link or FIFO, and nothing is ever deleted.
//
// In a sticky folder a user may write another's files but never remove them,
// and (with fs.protected_regular) may not even open them with O_CREAT. So an
// existing rollback journal is opened without creating it and is emptied
// instead of deleted: an empty journal means the same to SQLite, and any
// user's writer can then recover after another user's writer was killed.
// Registered for the life of the program (or of the loaded library).
class GuardedVfs {
public:
    static const char* Name();
};
