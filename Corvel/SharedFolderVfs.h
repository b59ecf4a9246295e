#pragma once

// The SQLite file layer of the statistics database, which lives in a sticky
// folder that every user writes to. There a user may write another's files
// but never remove them, and (with fs.protected_regular) may not even open
// them with O_CREAT. So this layer opens an existing rollback journal without
// creating it and empties a journal instead of deleting it: an empty journal
// means the same to SQLite, and any user's writer can then recover after
// another user's writer was killed. Registered for the life of the program
// (or of the loaded library).
class SharedFolderVfs {
public:
    static const char* Name();
};
