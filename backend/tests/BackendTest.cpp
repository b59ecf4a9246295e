#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "Backend.h"
#include "BackendJob.h"
#include "DravikLauncher.h"
#include "ScratchFolder.h"

TEST(BackendJob, ArgumentsAsTheSchedulerPassesThem)
{
    const char* six[] = {"parsimo", "7", "bob", "My title", "2", "media=A4 landscape"};
    BackendJob job;
    std::string fault;
    ASSERT_TRUE(BackendJob::Parse(6, six, job, fault));
    EXPECT_EQ(job.jobId, 7);
    EXPECT_EQ(job.user, "bob");
    EXPECT_EQ(job.title, "My title");
    EXPECT_EQ(job.copies, 2);
    EXPECT_EQ(job.options, "media=A4 landscape");
    EXPECT_EQ(job.file, "");
    const char* seven[] = {"parsimo", "7", "bob", "", "1", "", "/var/spool/cups/d00007-001"};
    ASSERT_TRUE(BackendJob::Parse(7, seven, job, fault));
    EXPECT_EQ(job.file, "/var/spool/cups/d00007-001");

    const char* bad[][6] = {{"parsimo", "0", "bob", "t", "1", ""},
                            {"parsimo", "7x", "bob", "t", "1", ""},
                            {"parsimo", "7", "bob", "t", "0", ""},
                            {"parsimo", "7", "bob", "t", "99999", ""},
                            {"parsimo", "7", "", "t", "1", ""}};
    for (const auto& argv : bad) EXPECT_FALSE(BackendJob::Parse(6, argv, job, fault)) << argv[1] << " " << argv[4];
    EXPECT_FALSE(BackendJob::Parse(3, six, job, fault));
    EXPECT_NE(fault.find("Usage"), std::string::npos);
}

TEST(Backend, RelaysLinesAsErrorsAndRefusesUnknownUsers)
{
    EXPECT_EQ(Backend::RelayLine("Z3 Parsimo: no printer\r [OK]"), "ERROR: Z3 Parsimo: no printer [OK]");
    EXPECT_EQ(Backend::RelayLine("a\x1b[2Jb"), "ERROR: a [2Jb");

    const char* argv[] = {"parsimo", "5", "no-such-user-parsimo", "t", "1", ""};
    testing::internal::CaptureStderr();
    EXPECT_EQ(Backend::Run(6, argv, {}), Backend::kFailed);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "ERROR: Unknown user \"no-such-user-parsimo\": the job cannot be processed for them\n");
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

TEST_F(LauncherTest, RunsAsTheUserWithTheJobOnItsInput)
{
    ScratchFolder folder;
    m_request.inputFile = folder.Write("job.ps", std::string(100000, 'x'));
    const LaunchOutcome outcome = Run("id -u >&2; id -G >&2; echo \"$HOME ${LD_PRELOAD-clean}\" >&2; wc -c >&2;"
                                      "printf 'no line end' >&2; exit 3");
    EXPECT_EQ(outcome.stage, LaunchOutcome::Ran);
    EXPECT_EQ(outcome.status, 3);
    EXPECT_FALSE(outcome.stopped);
    const std::string uid = std::to_string(m_request.user.uid);
    ASSERT_EQ(m_lines.size(), 5u);
    EXPECT_EQ(m_lines[0], uid);
    EXPECT_EQ(m_lines[1].find('0') == 0 && m_lines[1].size() == 1, false);  // root's group is gone
    EXPECT_EQ(m_lines[2], "/nonexistent clean");
    EXPECT_EQ(m_lines[3], "100000");
    EXPECT_EQ(m_lines[4], "no line end");
}

TEST_F(LauncherTest, ReportsTheStageThatFailed)
{
    m_request.inputFile = "/nonexistent/job";
    EXPECT_EQ(Run("exit 0").stage, LaunchOutcome::Input);
    m_request.inputFile.clear();
    m_request.prepare = [] { return geteuid() == 0; };  // runs as the user, so refuses
    EXPECT_EQ(Run("exit 0").stage, LaunchOutcome::Prepare);
    m_request.prepare = nullptr;
    m_request.program = "/nonexistent/Dravik";
    const LaunchOutcome missing = Run("exit 0");
    EXPECT_EQ(missing.stage, LaunchOutcome::Start);
    EXPECT_EQ(missing.error, ENOENT);
}

TEST_F(LauncherTest, PassesAStopOnAndEndsWhatIsLeft)
{
    // A helper stops us while the program runs: the way the scheduler cancels a job.
    const pid_t us = getpid();
    const pid_t helper = fork();
    ASSERT_GE(helper, 0);
    if (helper == 0) {
        usleep(500000);
        kill(us, SIGTERM);
        _exit(0);
    }
    const auto start = std::chrono::steady_clock::now();
    const LaunchOutcome outcome = Run("sleep 30; echo survived >&2");
    waitpid(helper, nullptr, 0);
    EXPECT_TRUE(outcome.stopped);
    EXPECT_EQ(outcome.status, 128 + SIGTERM);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_TRUE(m_lines.empty());
}
