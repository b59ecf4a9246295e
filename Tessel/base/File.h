#pragma once
#include <cstddef>

// A file opened for writing with no sharing (an exclusive lock), replacing
// any file of that name. It never writes through a link and never opens
// anything but a plain file (a pipe planted in its place would block). Closed
// by the destructor.
class File {
public:
    File() = default;
    ~File();
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // False with errno set when it cannot be created; with mustBeNew, also
    // when something of that name exists.
    bool Create(const char* path, bool mustBeNew = false);
    bool Write(const void* data, size_t size);  // all or false
    // Writes up to size bytes taken straight from a pipe, without a copy
    // through our memory; waits for the pipe to have some. The number moved,
    // 0 at the pipe's end, -1 with errno set (EINVAL: the file system or the
    // handle cannot do this, and nothing was moved).
    long MoveFromPipe(int pipe, size_t size);
    bool Close();
    bool IsOpen() const { return m_fd >= 0; }

    // For a file written again and again under a name of our own, whose
    // contents others take through a further name (see AddName):
    // Lets others lock the file, as they must to delete a name of it.
    void Unlock();
    // Goes back to the start, to write the file anew.
    bool Rewind();
    // Ends the file where writing has reached: older bytes beyond go.
    bool CutHere();
    // How many names the file has (0 once all are deleted), -1 on error.
    long NameCount() const;
    // Gives the file, open under `name`, the further name `newName`. False
    // with errno set when newName exists, or when `name` no longer names
    // this file (the new name is taken back then).
    bool AddName(const char* name, const char* newName);

private:
    int m_fd = -1;
};

bool DeleteFile(const char* path);
// Whether path names a plain file (links followed) that we may read.
bool CanReadFile(const char* path);
// Closes a handle and marks it closed; a closed handle is left alone. errno
// is kept, so cleanup after a failed call does not hide why it failed.
void CloseHandle(int& handle);
// Opens `path` (close-on-exec) and takes a shared or exclusive flock on it,
// waiting at most waitMs for another holder. A writer may rename a new file
// over the name meanwhile, and a lock on the replaced file guards nothing, so
// then the name is opened again. The descriptor, or -1 with errno set
// (EWOULDBLOCK: timed out).
int OpenLockedFile(const char* path, int flags, unsigned mode, bool exclusive, int waitMs);
// Writes every byte to an open handle, retrying interrupted and partial
// writes; false (errno kept) on error.
bool WriteAllTo(int handle, const void* data, size_t size);
