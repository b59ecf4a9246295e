#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "FileLock.h"

FileLock::~FileLock() { Release(); }

bool FileLock::Acquire(const char* path, void (*onWait)())
{
    Release();
    const int fd = open(path, O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK && onWait) onWait();
        int rc;
        while ((rc = flock(fd, LOCK_EX)) != 0 && errno == EINTR) {
        }
        if (rc != 0) {
            const int saved = errno;
            close(fd);
            errno = saved;
            return false;
        }
    }
    m_fd = fd;
    return true;
}

void FileLock::Release()
{
    if (m_fd >= 0) close(m_fd);  // closing drops the lock
    m_fd = -1;
}
