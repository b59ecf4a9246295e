// Child processes on POSIX: posix_spawnp with an argument vector (never a
// shell), pipes made close-on-exec and handed to the child by file actions.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <string_view>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

#include "CommandLine.h"
#include "Log.h"
#include "Process.h"
#include "ProgramPath.h"
#include "SysUtils.h"

namespace {
// Owns the spawn attributes and file actions for one start.
class SpawnSetup {
public:
    SpawnSetup()
    {
        m_actionsReady = posix_spawn_file_actions_init(&m_actions) == 0;
        m_attrReady = posix_spawnattr_init(&m_attr) == 0;
    }
    ~SpawnSetup()
    {
        if (m_actionsReady) posix_spawn_file_actions_destroy(&m_actions);
        if (m_attrReady) posix_spawnattr_destroy(&m_attr);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;

    // 0 or the error number.
    int Prepare(bool noRedirect, int stdinRd, int stdoutWr, int stderrWr)
    {
        if (!m_actionsReady || !m_attrReady) return ENOMEM;
        int rc = 0;
        if (noRedirect) {
            // The child must never read the job stream that may be our stdin.
            rc = posix_spawn_file_actions_addopen(&m_actions, 0, "/dev/null", O_RDONLY, 0);
        } else {
            // The pipe ends are all above 2 (see MakePipe), so no dup2 here
            // overwrites another end before it is used.
            if (rc == 0) rc = posix_spawn_file_actions_adddup2(&m_actions, stdinRd, 0);
            if (rc == 0) rc = posix_spawn_file_actions_adddup2(&m_actions, stdoutWr, 1);
            if (rc == 0) rc = posix_spawn_file_actions_adddup2(&m_actions, stderrWr, 2);
        }
        // Descriptors opened elsewhere without close-on-exec stay ours too.
        if (rc == 0) rc = posix_spawn_file_actions_addclosefrom_np(&m_actions, 3);

        // The child starts with no blocked signal and SIGPIPE at its default,
        // whatever this thread or our own parent had set.
        sigset_t none, pipeOnly;
        sigemptyset(&none);
        sigemptyset(&pipeOnly);
        sigaddset(&pipeOnly, SIGPIPE);
        if (rc == 0) rc = posix_spawnattr_setsigmask(&m_attr, &none);
        if (rc == 0) rc = posix_spawnattr_setsigdefault(&m_attr, &pipeOnly);
        if (rc == 0) rc = posix_spawnattr_setflags(&m_attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
        return rc;
    }

    const posix_spawn_file_actions_t* Actions() const { return &m_actions; }
    const posix_spawnattr_t* Attributes() const { return &m_attr; }

private:
    posix_spawn_file_actions_t m_actions{};
    posix_spawnattr_t m_attr{};
    bool m_actionsReady = false;
    bool m_attrReady = false;
};

// Moves a descriptor above the standard three (keeping close-on-exec), so a
// program started with one of them closed cannot have a pipe end land there.
bool LiftAboveStandard(int& handle)
{
    if (handle > 2) return true;
    const int lifted = fcntl(handle, F_DUPFD_CLOEXEC, 3);
    if (lifted < 0) return false;
    close(handle);
    handle = lifted;
    return true;
}

// One close-on-exec pipe; both ends above 2. False with errno set.
bool MakePipe(int& readEnd, int& writeEnd)
{
    int ends[2] = {-1, -1};
    if (pipe2(ends, O_CLOEXEC) != 0) return false;
    if (!LiftAboveStandard(ends[0]) || !LiftAboveStandard(ends[1])) {
        CloseHandle(ends[0]);
        CloseHandle(ends[1]);
        return false;
    }
    readEnd = ends[0];
    writeEnd = ends[1];
    return true;
}

// Our environment with the given variables replaced or added, as "NAME=value" texts.
std::vector<std::string> ChildEnvironment(const std::vector<std::pair<std::string, std::string>>& variables)
{
    std::vector<std::string> result;
    for (char** entry = environ; entry && *entry; ++entry) {
        bool replaced = false;
        for (const auto& [name, value] : variables)
            replaced =
                replaced || (std::strncmp(*entry, name.c_str(), name.size()) == 0 && (*entry)[name.size()] == '=');
        if (!replaced) result.emplace_back(*entry);
    }
    for (const auto& [name, value] : variables) result.push_back(name + "=" + value);
    return result;
}

// The program's path: as given when it holds a '/', else found on PATH.
std::string ResolveProgram(const std::string& program)
{
    if (program.find('/') != std::string::npos) return program;
    const TextBuffer folder = FindProgramFolder(program.c_str());
    return folder.GetText() ? std::string(folder.GetText()) + program : program;
}

// Starts a child bound to us with fork and exec: a process group of its own
// and a kill when its parent ends, which posix_spawn cannot ask for. Between
// fork and exec only async-signal-safe calls are made. 0 or the error number
// (an exec failure is passed back through a close-on-exec pipe).
int ForkBound(const char* path, char** argv, char** envp, bool noRedirect, int stdinRd, int stdoutWr, int stderrWr,
              pid_t& pid)
{
    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0) return errno;
    const pid_t parent = getpid();
    pid = fork();
    if (pid < 0) {
        const int error = errno;
        close(report[0]);
        close(report[1]);
        return error;
    }
    if (pid == 0) {
        setpgid(0, 0);
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent) _exit(127);  // the parent ended before the line above
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        signal(SIGPIPE, SIG_DFL);
        int error = 0;
        if (noRedirect) {
            const int null = open("/dev/null", O_RDONLY);
            if (null < 0 || dup2(null, 0) < 0) error = errno;
        } else if (dup2(stdinRd, 0) < 0 || dup2(stdoutWr, 1) < 0 || dup2(stderrWr, 2) < 0) {
            error = errno;
        }
        if (error == 0) {
            // Every other descriptor but the report pipe (close-on-exec) goes.
            if (report[1] > 3) close_range(3, static_cast<unsigned>(report[1]) - 1, 0);
            close_range(static_cast<unsigned>(report[1]) + 1, ~0U, 0);
            execve(path, argv, envp);
            error = errno;
        }
        ssize_t ignored = write(report[1], &error, sizeof error);
        (void)ignored;
        _exit(127);
    }
    // Set here as well, so the group exists whichever side runs first.
    setpgid(pid, pid);
    close(report[1]);
    int error = 0;
    ssize_t got;
    while ((got = read(report[0], &error, sizeof error)) < 0 && errno == EINTR) { }
    close(report[0]);
    if (got == static_cast<ssize_t>(sizeof error)) {
        while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) { }
        pid = 0;
        return error;
    }
    return 0;
}

int DecodeStatus(int status)
{
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return status;
}
}  // namespace

Process::~Process()
{
    ClosePipes();
    const pid_t pid = m_ProcessInfo.hProcess;
    if (pid <= 0 || m_bWaited) return;
    if (waitpid(pid, nullptr, WNOHANG) != 0) return;  // already ended and reaped, or not ours
    // Still running: a detached thread reaps it when it ends. Without one the
    // ended child would stay a zombie for as long as this program runs.
    try {
        std::thread([pid] {
            while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) { }
        }).detach();
    } catch (...) {
        // No thread to spare: the child is reaped when this program ends.
    }
}

bool Process::CreateChildProcess(const char* commandLine, bool noRedirect, int showMode, bool asUser)
{
    (void)showMode;
    (void)asUser;
    if (!commandLine || !*commandLine || m_ProcessInfo.hProcess != 0) return false;

    std::vector<std::string> arguments = CommandLine::Split(commandLine);
    std::vector<char*> argv;
    argv.reserve(arguments.size() + 1);
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);

    int rc = 0;
    if (arguments.empty() || arguments[0].empty()) rc = ENOENT;
    if (rc == 0 && !noRedirect) {
        // {read end, write end} of the child's stdin, stdout and stderr pipes.
        const std::pair<int*, int*> pipes[] = {{&m_hChildStdinRd, &m_hChildStdinWrDup},
                                               {&m_hChildStdoutRdDup, &m_hChildStdoutWr},
                                               {&m_hChildStderrRdDup, &m_hChildStderrWr}};
        for (const auto& [readEnd, writeEnd] : pipes)
            if (rc == 0 && !MakePipe(*readEnd, *writeEnd)) rc = errno;
    }

    std::vector<std::string> variables = ChildEnvironment(m_Variables);
    std::vector<char*> envp;
    for (std::string& variable : variables) envp.push_back(variable.data());
    envp.push_back(nullptr);

    pid_t pid = 0;
    if (rc == 0 && m_bBound) {
        const std::string path = ResolveProgram(arguments[0]);
        rc = ForkBound(path.c_str(), argv.data(), envp.data(), noRedirect, m_hChildStdinRd, m_hChildStdoutWr,
                       m_hChildStderrWr, pid);
    } else {
        SpawnSetup setup;
        if (rc == 0) rc = setup.Prepare(noRedirect, m_hChildStdinRd, m_hChildStdoutWr, m_hChildStderrWr);
        if (rc == 0) rc = posix_spawnp(&pid, argv[0], setup.Actions(), setup.Attributes(), argv.data(), envp.data());
    }
    if (rc != 0) {
        errno = rc;
        LOG_LAST_ERROR(2);
        LogText("CreateChildProcess() failed.\r\n");
        ClosePipes();
        return false;
    }

    m_ProcessInfo.hProcess = pid;
    m_ProcessInfo.dwProcessId = pid;
    m_bWaited = false;
    // Only the child needs these ends; see the header for why we drop ours.
    CloseHandle(m_hChildStdinRd);
    CloseHandle(m_hChildStderrWr);
    return true;
}

bool Process::Wait(int* status)
{
    if (m_ProcessInfo.hProcess <= 0) return false;
    if (!m_bWaited) {
        int raw = 0;
        pid_t result = -1;
        while ((result = waitpid(m_ProcessInfo.hProcess, &raw, 0)) < 0 && errno == EINTR) { }
        if (result < 0) {
            LOG_LAST_ERROR(2);
            return false;
        }
        m_iExitStatus = DecodeStatus(raw);
        m_bWaited = true;
    }
    if (status) *status = m_iExitStatus;
    return true;
}

void Process::SetVariable(const char* name, const char* value)
{
    if (name && *name && value) m_Variables.emplace_back(name, value);
}

void Process::PreferHugePages()
{
    // glibc's malloc tunable, added to the tunables our caller set; a C
    // library that does not know it ignores it.
    constexpr std::string_view kName = "glibc.malloc.hugetlb";
    const std::string tunables = GetEnvironmentText("GLIBC_TUNABLES");
    if (tunables.find(kName) != std::string::npos) return;
    SetVariable("GLIBC_TUNABLES", (tunables + (tunables.empty() ? "" : ":") + std::string(kName) + "=1").c_str());
}

void Process::Terminate()
{
    const pid_t pid = m_ProcessInfo.hProcess;
    if (pid <= 0 || m_bWaited) return;
    kill(m_bBound ? -pid : pid, SIGKILL);
}

bool Process::WaitFor(int timeoutMs, int* status)
{
    if (m_ProcessInfo.hProcess <= 0) return false;
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    // Readable once the child has ended, so that its end is seen at once
    // rather than at the next look; a kernel without it gets a look every 20 ms.
    const int ended = m_bWaited ? -1 : static_cast<int>(syscall(SYS_pidfd_open, m_ProcessInfo.hProcess, 0));
    bool waited = true;
    while (!m_bWaited) {
        int raw = 0;
        const pid_t result = waitpid(m_ProcessInfo.hProcess, &raw, WNOHANG);
        if (result == m_ProcessInfo.hProcess) {
            m_iExitStatus = DecodeStatus(raw);
            m_bWaited = true;
            break;
        }
        if (result < 0 && errno != EINTR) {
            LOG_LAST_ERROR(2);
            waited = false;
            break;
        }
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            waited = false;
            break;
        }
        if (ended >= 0) {
            pollfd watch{ended, POLLIN, 0};
            poll(&watch, 1, static_cast<int>(left));
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(std::min<long long>(left, 20)));
        }
    }
    if (ended >= 0) close(ended);
    if (waited && status) *status = m_iExitStatus;
    return waited;
}

void Process::ClosePipes()
{
    CloseHandle(m_hChildStderrRdDup);
    CloseHandle(m_hChildStderrWr);
    CloseHandle(m_hChildStdoutRdDup);
    CloseHandle(m_hChildStdoutWr);
    CloseHandle(m_hChildStdinRd);
    CloseHandle(m_hChildStdinWrDup);
}

void Process::Replace(const char* path, const std::vector<std::string>& arguments)
{
    std::vector<char*> argv;
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    execv(path, argv.data());
}
