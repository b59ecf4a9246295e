// Child processes on POSIX: posix_spawnp with an argument vector (never a
// shell), pipes made close-on-exec and handed to the child by file actions.
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

#include "CommandLine.h"
#include "Log.h"
#include "Process.h"

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
            while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
            }
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

    SpawnSetup setup;
    if (rc == 0) rc = setup.Prepare(noRedirect, m_hChildStdinRd, m_hChildStdoutWr, m_hChildStderrWr);
    pid_t pid = 0;
    if (rc == 0) rc = posix_spawnp(&pid, argv[0], setup.Actions(), setup.Attributes(), argv.data(), environ);
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
        while ((result = waitpid(m_ProcessInfo.hProcess, &raw, 0)) < 0 && errno == EINTR) {
        }
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

void Process::ClosePipes()
{
    CloseHandle(m_hChildStderrRdDup);
    CloseHandle(m_hChildStderrWr);
    CloseHandle(m_hChildStdoutRdDup);
    CloseHandle(m_hChildStdoutWr);
    CloseHandle(m_hChildStdinRd);
    CloseHandle(m_hChildStdinWrDup);
}

