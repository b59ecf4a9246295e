#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "Backend.h"
#include "BackendJob.h"
#include "DravikLauncher.h"
#include "JobExit.h"
#include "JobIdentity.h"
#include "ScratchFolder.h"

TEST(BackendJob, ArgumentsAsTheSchedulerPassesThem)
{
    const char* six[] = {"parsimo", "7", "bob", "My title", "2", "media=A4 landscape"};
    BackendJob job;
    std::string fault;
    ASSERT_TRUE(BackendJob::Parse(6, six, job, fault));
    EXPECT_EQ(job.copies, 2);
    EXPECT_EQ(job.file, "");
    const char* seven[] = {"parsimo", "7", "bob", "", "1", "", "/var/spool/cups/d00007-001"};
    ASSERT_TRUE(BackendJob::Parse(7, seven, job, fault));
    EXPECT_EQ(job.file, "/var/spool/cups/d00007-001");

    const char* bad[][6] = {{"parsimo", "7x", "bob", "t", "1", ""},
                            {"parsimo", "7", "bob", "t", "99999", ""},
                            {"parsimo", "7", "", "t", "1", ""}};
    for (const auto& argv : bad) EXPECT_FALSE(BackendJob::Parse(6, argv, job, fault)) << argv[1] << " " << argv[4];
    EXPECT_FALSE(BackendJob::Parse(3, six, job, fault));
}

TEST(Backend, RelaysTheJobsMessagesAndLogsTheRestAndRefusesJobsWithoutTheServiceAccount)
{
    // The job processor's reason is the job's message; anything else (a
    // toolkit's warning, a terminal's escape) only goes to the log, made harmless.
    EXPECT_EQ(Backend::RelayLine("ERROR: Could not open the target printer (Office)!\r"),
              "ERROR: Could not open the target printer (Office)!");
    EXPECT_EQ(Backend::RelayLine("a\x1b[2Jb"), "DEBUG: a [2Jb");
    // Lines that would change the queue for everybody are never passed on as such.
    for (const char* line : {"STATE: +paused", "PPD: DefaultPageSize=A4"})
        EXPECT_EQ(Backend::RelayLine(line), std::string("DEBUG: ") + line);
    EXPECT_EQ(Backend::RelayLine("ERROR: a\nSTATE: +paused"), "ERROR: a STATE: +paused");

    // A name nobody here has runs as the service account, which must exist.
    const char* argv[] = {"parsimo", "5", "no-such-user-parsimo", "t", "1", ""};
    testing::internal::CaptureStderr();
    EXPECT_EQ(Backend::Run(6, argv, {"PARSIMO_SERVICE_ACCOUNT=no-such-service-parsimo"}), Backend::kCancel);
    EXPECT_EQ(testing::internal::GetCapturedStderr().rfind("ERROR: The service account", 0), 0u);
}

// Whatever the queue's error policy, a job ends or is tried again: the queue never stops.
TEST(Backend, ExitCodeEndsTheJobOrTriesItAgainLater)
{
    const auto code = [](int status, LaunchOutcome::Stage stage = LaunchOutcome::Ran) {
        LaunchOutcome outcome;
        outcome.stage = stage;
        outcome.status = status;
        return Backend::ExitCode(outcome);
    };
    EXPECT_EQ(code(kExitPrinted), Backend::kOk);
    EXPECT_EQ(code(kExitCancelled), Backend::kCancel);
    EXPECT_EQ(code(kExitTryLater), Backend::kRetry);
    // Never printable as it is: a failure, a crash, anything unknown.
    for (int status : {kExitFailed, 128 + SIGSEGV}) EXPECT_EQ(code(status), Backend::kCancel) << status;
    // Not started: out of processes is for now; the rest stays as it is.
    EXPECT_EQ(code(0, LaunchOutcome::Spawn), Backend::kRetry);
    EXPECT_EQ(code(0, LaunchOutcome::Privileges), Backend::kCancel);
}

TEST(JobIdentity, OnlyAnAuthenticatedPersonRunsAsThemselves)
{
    const UserAccount alice{"alice", 1001, 1001, "/home/alice", "/bin/bash"};
    const UserAccount root{"root", 0, 0, "/root", "/bin/bash"};
    const UserAccount service{"parsimo", 120, 130, "/var/lib/parsimo", "/usr/sbin/nologin"};

    const JobIdentity self = JobIdentity::Decide("alice", "1001", alice, true, service, "/var/lib/parsimo");
    EXPECT_FALSE(self.service);
    EXPECT_EQ(self.home, "/home/alice");

    // lp -U alice by someone else: the scheduler vouched for nobody, or for another uid.
    for (const std::string& authUid : {std::string(), std::string("1002"), std::string("0")}) {
        const JobIdentity claim = JobIdentity::Decide("alice", authUid, alice, true, service, "/var/lib/parsimo");
        EXPECT_EQ(claim.account.uid, 120u) << authUid;
        EXPECT_EQ(claim.home, "/var/lib/parsimo/unverified-alice");
    }
    // Root and system accounts never run their jobs as themselves, authenticated or not.
    const JobIdentity asRoot = JobIdentity::Decide("root", "0", root, false, service, "/var/lib/parsimo/");
    EXPECT_TRUE(asRoot.service);
    EXPECT_EQ(asRoot.home, "/var/lib/parsimo/root");
    // Remote names the machine does not know.
    const JobIdentity remote = JobIdentity::Decide("CORP\\Jane", "", std::nullopt, false, service, "/srv");
    EXPECT_TRUE(remote.service);
    EXPECT_EQ(remote.home, "/srv/jane");
}

// Whatever a remote client calls itself, the name is one safe folder name.
TEST(JobIdentity, NamesAreSafeFolderNames)
{
    for (const auto& [given, folder] : std::vector<std::pair<std::string, std::string>>{
             {"A\\B\\Jane.Doe@x@y", "jane.doe"}, {"../../etc", "_._.._etc"}, {"-rf /", "_rf__"}, {"", "anonymous"}})
        EXPECT_EQ(JobIdentity::NormalisedName(given), folder) << given;
    EXPECT_EQ(JobIdentity::NormalisedName(std::string(300, 'a')).size(), JobIdentity::kMaxName);
}

class LauncherTest : public testing::Test {
protected:
    void SetUp() override
    {
        if (geteuid() != 0) GTEST_SKIP() << "starting a program as another user needs root";
        if (!UserAccount::Find("nobody", m_request.user)) GTEST_SKIP() << "no user nobody";
        m_request.program = "/bin/sh";
        m_request.environment = {"PATH=/usr/bin:/bin", "HOME=/nonexistent"};
    }

    LaunchOutcome Run(const std::string& script)
    {
        m_request.arguments = {"sh", "-c", script};
        m_lines.clear();
        return DravikLauncher::Run(m_request, [this](const std::string& line) { m_lines.push_back(line); });
    }

    LaunchRequest m_request;
    std::vector<std::string> m_lines;
};

// The program runs as the user, with the environment given, the job on its
// input and the figures pipe as its only further descriptor: never ours,
// as the scheduler's 3 and 4 are (a stray descriptor stands in for them).
TEST_F(LauncherTest, RunsAsTheUserWithTheJobOnItsInputAndOnlyTheFiguresPipe)
{
    ScratchFolder folder;
    m_request.inputFile = folder.Write("job.ps", std::string(100000, 'x'));
    const int stray = fcntl(2, F_DUPFD, DravikLauncher::kFiguresFd + 1);
    ASSERT_GT(stray, DravikLauncher::kFiguresFd);
    const LaunchOutcome outcome = Run("id -u >&2; id -G >&2; echo \"$HOME ${LD_PRELOAD-clean}\" >&2; wc -c >&2;"
                                      "echo $(ls /proc/self/fd) >&2; printf 'job 1' >&$PARSIMO_STATISTICS_FD;"
                                      "printf ' 2\\n' >&3; printf 'no line end' >&2; exit 3");
    close(stray);
    EXPECT_EQ(outcome.stage, LaunchOutcome::Ran);
    EXPECT_EQ(outcome.status, 3);
    EXPECT_EQ(outcome.figures, "job 1 2\n");
    // The descriptors: 0, 1, 2, the pipe, and the one ls itself opens.
    const std::vector<std::string> expected = {
        std::to_string(m_request.user.uid), "", "/nonexistent clean", "100000", "0 1 2 3 4", "no line end"};
    ASSERT_EQ(m_lines.size(), expected.size());
    EXPECT_NE(m_lines[1], "0");  // root's group is gone
    m_lines[1].clear();
    EXPECT_EQ(m_lines, expected);
}

TEST_F(LauncherTest, ReportsTheStageThatFailed)
{
    m_request.inputFile = "/nonexistent/job";
    EXPECT_EQ(Run("exit 0").stage, LaunchOutcome::Input);
    m_request.inputFile.clear();
    m_request.program = "/nonexistent/Dravik";
    const LaunchOutcome missing = Run("exit 0");
    EXPECT_EQ(missing.stage, LaunchOutcome::Start);
    EXPECT_EQ(missing.error, ENOENT);
}

// A stop (the way the scheduler cancels a job) and the time limit both end
// the program and whatever it left running.
TEST_F(LauncherTest, EndsTheProgramOnAStopOrAtItsLimit)
{
    // A helper stops us while the program runs.
    const pid_t us = getpid();
    const pid_t helper = fork();
    ASSERT_GE(helper, 0);
    if (helper == 0) {
        usleep(500000);
        kill(us, SIGTERM);
        _exit(0);
    }
    const LaunchOutcome stopped = Run("sleep 30; echo survived >&2");
    waitpid(helper, nullptr, 0);
    EXPECT_TRUE(stopped.stopped);
    EXPECT_EQ(stopped.status, 128 + SIGTERM);

    m_request.timeLimitSeconds = 1;
    const LaunchOutcome limited = Run("sleep 60; echo survived >&2");
    EXPECT_TRUE(limited.timedOut);
    EXPECT_FALSE(limited.stopped);
    EXPECT_TRUE(m_lines.empty());
}

TEST_F(LauncherTest, TheProgramDiesWithTheBackend)
{
    // Where the program, which runs as nobody, can leave its pid.
    const std::string pidFile = "/tmp/parsimo-launcher-" + std::to_string(getpid()) + ".pid";
    const pid_t backend = fork();
    ASSERT_GE(backend, 0);
    if (backend == 0) {
        Run("echo $$ > " + pidFile + "; exec sleep 60");
        _exit(0);
    }
    pid_t program = 0;
    for (int i = 0; i < 100 && program == 0; ++i) {
        usleep(50000);
        FILE* file = std::fopen(pidFile.c_str(), "r");
        if (file && std::fscanf(file, "%d", &program) != 1) program = 0;
        if (file) std::fclose(file);
    }
    ASSERT_GT(program, 0);
    kill(backend, SIGKILL);
    waitpid(backend, nullptr, 0);
    bool gone = false;
    for (int i = 0; i < 100 && !gone; ++i) {
        usleep(50000);
        gone = kill(program, 0) != 0;
    }
    EXPECT_TRUE(gone) << "the program outlived the backend";
    if (!gone) kill(program, SIGKILL);
    unlink(pidFile.c_str());
}
