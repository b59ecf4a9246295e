#pragma once

// An exclusive lock held on a lock file for the lifetime of the object,
// shared with other processes: the second holder waits for the first.
class FileLock {
public:
    FileLock() = default;
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    // Takes the lock, creating the file when missing (never through a link).
    // When another process holds it, calls onWait once and then waits, at
    // most waitMs when that is not negative. False (errno set) when the file
    // cannot be opened or locked, when the time is up (EWOULDBLOCK) or when a
    // stop signal came meanwhile (EINTR).
    bool Acquire(const char* path, void (*onWait)() = nullptr, long long waitMs = -1);
    void Release();

private:
    int m_fd = -1;
};
