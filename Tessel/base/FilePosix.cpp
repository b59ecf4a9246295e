#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "File.h"

namespace {
// Whether path (a link followed or not) names the open file.
bool Names(const char* path, int fd, bool followLink)
{
    struct stat opened {
    }, named{};
    return fstat(fd, &opened) == 0 && (followLink ? stat(path, &named) : lstat(path, &named)) == 0 &&
           opened.st_ino == named.st_ino && opened.st_dev == named.st_dev;
}
}  // namespace

File::~File()
{
    Close();
}

bool File::Create(const char* path, bool mustBeNew)
{
    Close();
    if (!path || !*path) {
        errno = EINVAL;
        return false;
    }
    // Lock before truncating, so a file another writer holds is never cut
    // under it. Not following a link, and not waiting for a pipe's reader.
    int fd = open(path, O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | (mustBeNew ? O_EXCL : 0), 0600);
    if (fd < 0) return false;
    struct stat st { };
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        CloseHandle(fd);
        errno = EINVAL;
        return false;
    }
    // Only a file with bytes in it (looked at under the lock) is cut: ext4
    // takes a cut to empty for a file being rewritten and writes it out to
    // disk on close, all wasted on a page file deleted moments later.
    if (fcntl(fd, F_SETFL, 0) != 0 || flock(fd, LOCK_EX | LOCK_NB) != 0 || fstat(fd, &st) != 0 ||
        (st.st_size != 0 && ftruncate(fd, 0) != 0)) {
        CloseHandle(fd);
        return false;
    }
    m_fd = fd;
    return true;
}

int OpenLockedFile(const char* path, int flags, unsigned mode, bool exclusive, int waitMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    while (true) {
        int fd = open(path, flags | O_CLOEXEC, mode);
        if (fd < 0) return -1;
        while (flock(fd, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
            if ((errno != EWOULDBLOCK && errno != EINTR) || std::chrono::steady_clock::now() >= deadline) {
                CloseHandle(fd);
                return -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        if (Names(path, fd, true)) return fd;
        CloseHandle(fd);
        if (std::chrono::steady_clock::now() >= deadline) {
            errno = EWOULDBLOCK;
            return -1;
        }
    }
}

bool File::Write(const void* data, size_t size)
{
    return WriteAllTo(m_fd, data, size);
}

long File::MoveFromPipe(int pipe, size_t size)
{
    while (true) {
        const ssize_t n = splice(pipe, nullptr, m_fd, nullptr, size, SPLICE_F_MOVE);
        if (n >= 0) return static_cast<long>(n);
        if (errno != EINTR) return -1;
    }
}

bool WriteAllTo(int handle, const void* data, size_t size)
{
    if (handle < 0 || (!data && size > 0)) {
        errno = EBADF;
        return false;
    }
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = write(handle, bytes, size);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) {
            errno = EIO;
            return false;
        }
        bytes += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

void File::Unlock()
{
    if (m_fd >= 0) flock(m_fd, LOCK_UN);
}

bool File::Rewind()
{
    return lseek(m_fd, 0, SEEK_SET) == 0;
}

bool File::CutHere()
{
    const off_t end = lseek(m_fd, 0, SEEK_CUR);
    struct stat st { };
    if (end < 0 || fstat(m_fd, &st) != 0) return false;
    // A cut costs the file system work even where nothing goes: only when needed.
    return st.st_size <= end || ftruncate(m_fd, end) == 0;
}

long File::NameCount() const
{
    struct stat st { };
    if (fstat(m_fd, &st) != 0) return -1;
    return static_cast<long>(st.st_nlink);
}

bool File::AddName(const char* name, const char* newName)
{
    if (m_fd < 0 || !name || !newName) {
        errno = EBADF;
        return false;
    }
    // A link never follows a link; the name made must still be this file.
    if (link(name, newName) != 0) return false;
    if (Names(newName, m_fd, false)) return true;
    unlink(newName);
    errno = ESTALE;
    return false;
}

bool File::Close()
{
    if (m_fd < 0) return true;
    const int rc = close(m_fd);
    m_fd = -1;
    return rc == 0;
}

void CloseHandle(int& handle)
{
    if (handle < 0) return;
    const int saved = errno;
    // Linux releases the descriptor even when close reports EINTR; retrying
    // could close one that another thread has just been given.
    close(handle);
    handle = -1;
    errno = saved;
}

bool CanReadFile(const char* path)
{
    if (!path || !*path) {
        errno = EINVAL;
        return false;
    }
    int fd = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    struct stat st { };
    const bool plain = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    CloseHandle(fd);
    if (!plain) errno = EISDIR;
    return plain;
}

bool DeleteFile(const char* path)
{
    // Windows refuses to delete a file another program holds open without
    // sharing; the exclusive lock is how such a holder shows here.
    int fd = open(path, O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd >= 0) {
        if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
            CloseHandle(fd);
            errno = EBUSY;
            return false;
        }
        const bool ok = unlink(path) == 0;
        CloseHandle(fd);
        return ok;
    }
    return unlink(path) == 0;
}
