#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "File.h"
#include "FileLock.h"

FileLock::~FileLock() { Release(); }

bool FileLock::Acquire(const char* path, void (*onWait)())
{
    Release();
    int fd = open(path, O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK && onWait) onWait();
        int rc;
        while ((rc = flock(fd, LOCK_EX)) != 0 && errno == EINTR) {
        }
        if (rc != 0) {
            CloseHandle(fd);
            return false;
        }
    }
    m_fd = fd;
    return true;
}

void FileLock::Release()
{
    CloseHandle(m_fd);  // closing drops the lock
}
