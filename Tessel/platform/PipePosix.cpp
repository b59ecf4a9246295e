#include <cerrno>
#include <csignal>
#include <cstdint>
#include <ctime>
#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

#include "File.h"
#include "Pipe.h"

namespace {
// Holds SIGPIPE off the calling thread for its lifetime; a SIGPIPE raised
// meanwhile by our own write is taken off the thread before the old mask
// comes back, so it is never delivered.
class BrokenPipeGuard {
public:
    BrokenPipeGuard()
    {
        sigemptyset(&m_pipeSet);
        sigaddset(&m_pipeSet, SIGPIPE);
        sigset_t pending;
        sigemptyset(&pending);
        // A SIGPIPE that was already pending before us is not ours to take.
        m_wasPending = sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) == 1;
        m_blocked = pthread_sigmask(SIG_BLOCK, &m_pipeSet, &m_oldSet) == 0;
    }
    ~BrokenPipeGuard()
    {
        if (!m_blocked) return;
        const int savedErrno = errno;
        if (m_raised && !m_wasPending) {
            const timespec noWait{};
            while (sigtimedwait(&m_pipeSet, nullptr, &noWait) == -1 && errno == EINTR) { }
        }
        pthread_sigmask(SIG_SETMASK, &m_oldSet, nullptr);
        errno = savedErrno;
    }
    BrokenPipeGuard(const BrokenPipeGuard&) = delete;
    BrokenPipeGuard& operator=(const BrokenPipeGuard&) = delete;

    void NoteBrokenPipe() { m_raised = true; }

private:
    sigset_t m_pipeSet;
    sigset_t m_oldSet;
    bool m_wasPending = false;
    bool m_blocked = false;
    bool m_raised = false;
};
}  // namespace

long Pipe::Read(int handle, void* buffer, size_t size)
{
    if (handle < 0 || (!buffer && size > 0)) {
        errno = EBADF;
        return -1;
    }
    while (true) {
        const ssize_t n = read(handle, buffer, size);
        if (n >= 0) return static_cast<long>(n);
        if (errno != EINTR) return -1;
    }
}

bool Pipe::Write(int handle, const void* data, size_t size)
{
    BrokenPipeGuard guard;  // WriteAllTo refuses a bad handle or null data itself
    if (WriteAllTo(handle, data, size)) return true;
    if (errno == EPIPE) guard.NoteBrokenPipe();
    return false;
}

long Pipe::Widen(int handle, size_t bytes)
{
    if (bytes > size_t(INT32_MAX)) bytes = size_t(INT32_MAX);
    // Above the system's limit for a user the request fails: halve it until it is taken.
    for (size_t want = bytes; want >= 4096; want /= 2)
        if (fcntl(handle, F_SETPIPE_SZ, int(want)) >= 0) break;
    return fcntl(handle, F_GETPIPE_SZ);
}
