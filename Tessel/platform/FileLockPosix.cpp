#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <sys/file.h>
#include <thread>
#include <unistd.h>

#include "File.h"
#include "FileLock.h"
#include "StopSignals.h"

namespace {
constexpr auto kPollInterval = std::chrono::milliseconds(50);
}  // namespace

FileLock::~FileLock()
{
    Release();
}

bool FileLock::Acquire(const char* path, void (*onWait)(), long long waitMs)
{
    Release();
    int fd = open(path, O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
    if (fd < 0) return false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs < 0 ? 0 : waitMs);
    bool told = false;
    while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK && errno != EINTR) {
            CloseHandle(fd);
            return false;
        }
        if (!told && onWait) onWait();
        told = true;
        const bool timeUp = waitMs >= 0 && std::chrono::steady_clock::now() >= deadline;
        if (timeUp || StopSignals::Received() != 0) {
            CloseHandle(fd);
            errno = timeUp ? EWOULDBLOCK : EINTR;
            return false;
        }
        std::this_thread::sleep_for(kPollInterval);
    }
    m_fd = fd;
    return true;
}

void FileLock::Release()
{
    CloseHandle(m_fd);  // closing drops the lock
}
