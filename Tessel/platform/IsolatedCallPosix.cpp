#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "File.h"
#include "IsolatedCall.h"

bool IsolatedCall::Run(const std::function<std::string()>& work, int timeLimitMs, std::string& result,
                       std::string& failure)
{
    result.clear();
    int channel[2] = {-1, -1};
    if (pipe2(channel, O_CLOEXEC) != 0) return failure = std::string("no pipe: ") + std::strerror(errno), false;
    const pid_t pid = fork();
    if (pid < 0) {
        failure = std::string("no copy of the process: ") + std::strerror(errno);
        CloseHandle(channel[0]);
        CloseHandle(channel[1]);
        return false;
    }
    if (pid == 0) {
        close(channel[0]);
        const std::string bytes = work();
        _exit(WriteAllTo(channel[1], bytes.data(), bytes.size()) ? 0 : 1);
    }
    CloseHandle(channel[1]);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeLimitMs);
    bool timedOut = false, tooLong = false;
    char buffer[65536];
    while (true) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            timedOut = true;
            break;
        }
        pollfd wait{channel[0], POLLIN, 0};
        const int ready = poll(&wait, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno != EINTR) break;
        if (ready <= 0) continue;
        const ssize_t n = read(channel[0], buffer, sizeof buffer);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN) continue;
            break;
        }
        if (result.size() + static_cast<size_t>(n) > kMaxResult) {
            tooLong = true;
            break;
        }
        result.append(buffer, static_cast<size_t>(n));
    }
    CloseHandle(channel[0]);
    if (timedOut || tooLong) kill(pid, SIGKILL);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) { }
    if (timedOut)
        failure = "it ran longer than " + std::to_string(timeLimitMs) + " ms";
    else if (tooLong)
        failure = "its result was too long";
    else if (WIFSIGNALED(status))
        failure = std::string("it ended on signal ") + std::to_string(WTERMSIG(status));
    else if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        failure = "it could not hand its result back";
    else
        return true;
    result.clear();
    return false;
}
