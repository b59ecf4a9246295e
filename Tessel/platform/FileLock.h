#pragma once

// An exclusive lock held on a lock file for the lifetime of the object,
// shared with other processes: the second holder waits for the first.
class FileLock {
public:
    FileLock() = default;
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    // Takes the lock, creating the file when missing. When another process
    // holds it, calls onWait once and then waits without a time limit.
    // False (errno set) when the file cannot be opened or locked.
    bool Acquire(const char* path, void (*onWait)() = nullptr);
    void Release();

private:
    int m_fd = -1;
};
