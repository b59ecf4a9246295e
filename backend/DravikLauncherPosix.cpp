// The job processor's start on POSIX: fork, drop to the user (initgroups,
// setgid, setuid, each checked), exec with the built environment. A
// close-on-exec pipe tells the parent which step failed before the exec.
#include <cerrno>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <linux/close_range.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include "DravikLauncher.h"
#include "File.h"

namespace {
volatile sig_atomic_t gStopSignal = 0;
volatile pid_t gChild = 0;

void OnStop(int signal)
{
    gStopSignal = signal;
    if (gChild > 0) kill(gChild, SIGTERM);
}

struct Failure {
    int stage;
    int error;
};

[[noreturn]] void Fail(int pipe, LaunchOutcome::Stage stage)
{
    const Failure failure{stage, errno};
    (void)!write(pipe, &failure, sizeof failure);
    _exit(127);
}

// Every descriptor above `last` closes at the exec, whatever opened it.
void CloseAbove(int last)
{
    if (syscall(SYS_close_range, static_cast<unsigned>(last) + 1, ~0U, CLOSE_RANGE_CLOEXEC) == 0) return;
    const long limit = sysconf(_SC_OPEN_MAX);
    for (int fd = last + 1; fd < (limit > 0 && limit < 65536 ? limit : 65536); ++fd) fcntl(fd, F_SETFD, FD_CLOEXEC);
}

[[noreturn]] void Child(const LaunchRequest& request, pid_t parent, int input, int errorWrite, int figuresWrite,
                        int statusWrite)
{
    for (int signal : {SIGTERM, SIGINT, SIGHUP, SIGPIPE}) std::signal(signal, SIG_DFL);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    // Its own session: no terminal to ask on, and one group to end on a stop.
    setsid();
    if (!request.user.Become()) Fail(statusWrite, LaunchOutcome::Privileges);
    // Set after the change of user, which clears it; a parent already gone
    // is seen by the check that follows.
    if (prctl(PR_SET_PDEATHSIG, SIGTERM) != 0 || getppid() != parent) Fail(statusWrite, LaunchOutcome::Start);
    umask(077);
    if (request.prepare && !request.prepare()) Fail(statusWrite, LaunchOutcome::Prepare);
    const int devNull = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (devNull < 0 || (input != 0 && dup2(input, 0) < 0) || dup2(devNull, 1) < 0 || dup2(errorWrite, 2) < 0 ||
        dup2(figuresWrite, DravikLauncher::kFiguresFd) < 0)
        Fail(statusWrite, LaunchOutcome::Start);
    CloseAbove(DravikLauncher::kFiguresFd);
    if (chdir(request.user.home.c_str()) != 0 && chdir("/") != 0) Fail(statusWrite, LaunchOutcome::Start);

    std::vector<char*> argv, envp;
    for (const std::string& a : request.arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const std::string figures = "PARSIMO_STATISTICS_FD=" + std::to_string(DravikLauncher::kFiguresFd);
    for (const std::string& e : request.environment) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(const_cast<char*>(figures.c_str()));
    envp.push_back(nullptr);
    execve(request.program.c_str(), argv.data(), envp.data());
    Fail(statusWrite, LaunchOutcome::Start);
}

// Splits the stream into lines for onLine; cuts overlong ones.
class LineSplitter {
public:
    explicit LineSplitter(const std::function<void(const std::string&)>& onLine) : m_onLine(onLine) { }
    void Add(const char* data, size_t size)
    {
        for (size_t i = 0; i < size; ++i) {
            if (data[i] == '\n' || m_line.size() >= DravikLauncher::kMaxLine) Flush();
            if (data[i] != '\n') m_line.push_back(data[i]);
        }
    }
    void Flush()
    {
        if (!m_line.empty()) m_onLine(m_line);
        m_line.clear();
    }

private:
    const std::function<void(const std::string&)>& m_onLine;
    std::string m_line;
};

// Reads what is there; false at the end of the stream or on an error.
bool Drain(int fd, LineSplitter& lines)
{
    char buffer[4096];
    while (true) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n > 0) {
            lines.Add(buffer, static_cast<size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        return n < 0 && errno == EAGAIN;
    }
}

// Collects the figures; false at the end of the stream or on an error.
bool Collect(int fd, std::string& figures)
{
    char buffer[4096];
    while (true) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n > 0) {
            // Past the limit the rest is read and dropped, so the writer never blocks.
            if (figures.size() <= DravikLauncher::kMaxFigures) figures.append(buffer, static_cast<size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        return n < 0 && errno == EAGAIN;
    }
}

int DecodeStatus(int status)
{
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return status;
}

time_t Now()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec;
}
}  // namespace

LaunchOutcome DravikLauncher::Run(const LaunchRequest& request, const std::function<void(const std::string&)>& onLine)
{
    LaunchOutcome outcome;
    gStopSignal = 0;
    int input = 0;
    if (!request.inputFile.empty()) {
        input = open(request.inputFile.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
        if (input < 0) {
            outcome.stage = LaunchOutcome::Input;
            outcome.error = errno;
            return outcome;
        }
    }
    int errorPipe[2] = {-1, -1}, statusPipe[2] = {-1, -1}, figuresPipe[2] = {-1, -1};
    if (pipe2(errorPipe, O_CLOEXEC) != 0 || pipe2(statusPipe, O_CLOEXEC) != 0 || pipe2(figuresPipe, O_CLOEXEC) != 0) {
        outcome.stage = LaunchOutcome::Spawn;
        outcome.error = errno;
        for (int fd : {errorPipe[0], errorPipe[1], statusPipe[0], statusPipe[1], input > 0 ? input : -1})
            CloseHandle(fd);
        return outcome;
    }

    // A stop that comes before the child's pid is known is passed on once it is.
    struct sigaction action { };
    action.sa_handler = OnStop;
    sigemptyset(&action.sa_mask);
    sigset_t stops, previous;
    sigemptyset(&stops);
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        sigaction(signal, &action, nullptr);
        sigaddset(&stops, signal);
    }
    std::signal(SIGPIPE, SIG_IGN);
    sigprocmask(SIG_BLOCK, &stops, &previous);
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid == 0) Child(request, parent, input, errorPipe[1], figuresPipe[1], statusPipe[1]);
    const int forkError = errno;
    gChild = pid > 0 ? pid : 0;
    if (pid > 0 && gStopSignal) kill(pid, SIGTERM);
    sigprocmask(SIG_SETMASK, &previous, nullptr);
    CloseHandle(errorPipe[1]);
    CloseHandle(statusPipe[1]);
    CloseHandle(figuresPipe[1]);
    if (input > 0) CloseHandle(input);
    if (pid < 0) {
        CloseHandle(errorPipe[0]);
        CloseHandle(statusPipe[0]);
        CloseHandle(figuresPipe[0]);
        outcome.stage = LaunchOutcome::Spawn;
        outcome.error = forkError;
        return outcome;
    }

    Failure failure{LaunchOutcome::Ran, 0};
    ssize_t got = 0;
    while ((got = read(statusPipe[0], &failure, sizeof failure)) < 0 && errno == EINTR) { }
    CloseHandle(statusPipe[0]);
    if (got == static_cast<ssize_t>(sizeof failure)) {
        outcome.stage = static_cast<LaunchOutcome::Stage>(failure.stage);
        outcome.error = failure.error;
    }

    // Programs the job processor leaves running (a viewer) may hold the
    // streams open: its end is the program's exit, not the streams' end.
    fcntl(errorPipe[0], F_SETFL, O_NONBLOCK);
    fcntl(figuresPipe[0], F_SETFL, O_NONBLOCK);
    LineSplitter lines(onLine);
    bool errorsOpen = true, figuresOpen = true;
    const time_t started = Now();
    time_t stopTime = 0;
    bool killed = false;
    int raw = 0;
    while (true) {
        pollfd wait[2] = {{errorsOpen ? errorPipe[0] : -1, POLLIN, 0}, {figuresOpen ? figuresPipe[0] : -1, POLLIN, 0}};
        poll(wait, 2, 250);
        if (errorsOpen) errorsOpen = Drain(errorPipe[0], lines);
        if (figuresOpen) figuresOpen = Collect(figuresPipe[0], outcome.figures);
        const pid_t ended = waitpid(pid, &raw, WNOHANG);
        if (ended == pid || (ended < 0 && errno == ECHILD)) break;
        if (request.timeLimitSeconds > 0 && !outcome.timedOut && Now() - started >= request.timeLimitSeconds) {
            // Ended like a stopped job: it cleans up, or is killed after the grace.
            outcome.timedOut = true;
            kill(pid, SIGTERM);
            stopTime = Now();
        }
        if (gStopSignal && stopTime == 0) stopTime = Now();
        if (stopTime != 0 && !killed && Now() - stopTime >= kStopGraceSeconds) {
            kill(-pid, SIGKILL);
            killed = true;
        }
    }
    if (errorsOpen) Drain(errorPipe[0], lines);
    if (figuresOpen) Collect(figuresPipe[0], outcome.figures);
    lines.Flush();
    CloseHandle(errorPipe[0]);
    CloseHandle(figuresPipe[0]);
    gChild = 0;
    outcome.stopped = gStopSignal != 0;
    // Whatever the stopped job left in its group goes with it.
    if (outcome.stopped || outcome.timedOut) kill(-pid, SIGKILL);
    if (outcome.stage == LaunchOutcome::Ran) outcome.status = DecodeStatus(raw);
    return outcome;
}
