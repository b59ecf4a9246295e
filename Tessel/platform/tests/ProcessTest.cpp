#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <thread>
#include <unistd.h>

#include "Pipe.h"
#include "Process.h"
#include "ScratchFolder.h"
#include "SysUtils.h"

namespace {
std::string ReadToEnd(int handle)
{
    std::string text;
    char buffer[4096];
    long n = 0;
    while ((n = Pipe::Read(handle, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<size_t>(n));
    return text;
}

bool AllPipesClosed(const Process& p)
{
    return p.m_hChildStdinRd == -1 && p.m_hChildStdinWrDup == -1 && p.m_hChildStdoutRdDup == -1 &&
           p.m_hChildStdoutWr == -1 && p.m_hChildStderrRdDup == -1 && p.m_hChildStderrWr == -1;
}
}  // namespace

TEST(ProcessTest, ChildTalksThroughAllThreePipes)
{
    Process child;
    ASSERT_TRUE(child.CreateChildProcess(R"(/bin/sh -c "cat; echo oops >&2; exit 3")", false, 2, true));
    CloseHandle(child.m_hChildStdoutWr);  // else the output never ends
    // More than a pipe holds: partial writes must all arrive, while we read.
    const std::string job(200000, 'j');
    std::thread writer([&] {
        EXPECT_TRUE(Pipe::Write(child.m_hChildStdinWrDup, job.data(), job.size()));
        CloseHandle(child.m_hChildStdinWrDup);
    });
    EXPECT_EQ(ReadToEnd(child.m_hChildStdoutRdDup), job);
    writer.join();
    EXPECT_EQ(ReadToEnd(child.m_hChildStderrRdDup), "oops\n");
    int status = -1;
    ASSERT_TRUE(child.Wait(&status));
    EXPECT_EQ(status, 3);

    Process killed;  // found on PATH; a signal's end reads as 128 + signal
    ASSERT_TRUE(killed.CreateChildProcess(R"(sh -c "kill -TERM $$")", true, 0, false));
    ASSERT_TRUE(killed.Wait(&status));
    EXPECT_EQ(status, 128 + SIGTERM);
}

TEST(ProcessTest, BadStartsFailCleanly)
{
    ScratchFolder dir;
    ScopedLog log(dir);
    Process child;
    EXPECT_FALSE(child.CreateChildProcess("/nonexistent/gs -q", false, 2, true));
    EXPECT_TRUE(AllPipesClosed(child));
    EXPECT_FALSE(child.Wait());
    EXPECT_NE(log.Text().find("CreateChildProcess() failed."), std::string::npos) << log.Text();

    // A second start is refused: the first child's pipes stay ours.
    Process once;
    ASSERT_TRUE(once.CreateChildProcess("/bin/cat", false, 0, false));
    const pid_t first = once.GetProcessInfo().hProcess;
    EXPECT_FALSE(once.CreateChildProcess("/bin/true", false, 0, false));
    EXPECT_EQ(once.GetProcessInfo().hProcess, first);
    once.ClosePipes();
    EXPECT_TRUE(once.Wait());  // cat saw the end of its input
}

TEST(ProcessTest, ChildGetsNoDescriptorButItsOwn)
{
    // Neither a descriptor opened without close-on-exec nor the pipes of
    // another running child may reach a new child.
    const int stray = dup(1);
    Process other;
    ASSERT_TRUE(other.CreateChildProcess("/bin/cat", false, 2, false));
    std::string listing;
    ASSERT_TRUE(Process::RunForOutput(R"(/bin/sh -c "ls /proc/$$/fd")", listing));
    EXPECT_EQ(listing, "0\n1\n2\n");
    close(stray);
}

TEST(ProcessTest, PipeEndsStayOffTheStandardSlots)
{
    // Started with stdin and stdout closed, a pipe end landing on 1 would
    // turn everything this program prints into the child's input.
    fflush(stdout);
    const int savedIn = dup(0), savedOut = dup(1);
    close(0);
    close(1);
    Process child;
    const bool started = child.CreateChildProcess("/bin/cat", false, 2, false);
    dup2(savedIn, 0);
    dup2(savedOut, 1);
    close(savedIn);
    close(savedOut);
    ASSERT_TRUE(started);
    EXPECT_GT(std::min({child.m_hChildStdinWrDup, child.m_hChildStdoutRdDup, child.m_hChildStdoutWr,
                        child.m_hChildStderrRdDup}),
              2);
}

// Waiting with a limit gives up on a live child and reports an ended one,
// again on the next call; WaitOrEnd ends a child that outlives the limit
// even when it ignores the polite signal (a window nobody closes).
TEST(ProcessTest, WaitingWithALimit)
{
    Process child;
    ASSERT_TRUE(child.CreateChildProcess(R"(/bin/sh -c "read line; exit 4")", false, 0, false));
    int status = -1;
    EXPECT_FALSE(child.WaitFor(50, &status));
    CloseHandle(child.m_hChildStdinWrDup);
    EXPECT_TRUE(child.WaitFor(30000, &status));
    EXPECT_EQ(status, 4);
    status = -1;
    EXPECT_TRUE(child.WaitFor(0, &status));
    EXPECT_EQ(status, 4);

    Process stubborn;
    ASSERT_TRUE(stubborn.CreateChildProcess(R"(/bin/sh -c "trap '' TERM; while :; do sleep 1; done")", true, 0, false));
    const pid_t pid = stubborn.GetProcessInfo().hProcess;
    EXPECT_FALSE(stubborn.WaitOrEnd(200, &status));
    EXPECT_FALSE(std::filesystem::exists("/proc/" + std::to_string(pid)));  // ended and reaped
}

TEST(ProcessTest, RunForOutputCollectsOutputAndDrainsErrors)
{
    std::string output;
    int status = -1;
    // More on stderr than a pipe holds must not block the child.
    ASSERT_TRUE(
        Process::RunForOutput(R"(/bin/sh -c "printf 'a b'; head -c 200000 /dev/zero >&2; exit 4")", output, &status));
    EXPECT_EQ(output, "a b");
    EXPECT_EQ(status, 4);
    ASSERT_TRUE(Process::RunForOutput("/bin/sh -c \"head -c 100000 /dev/zero\"", output, &status, 10));
    EXPECT_EQ(output.size(), 10u);
}

TEST(PipeTest, WriteToVanishedReaderFailsWithoutSignal)
{
    // A child that ended before reading a job larger than the pipe holds.
    Process child;
    ASSERT_TRUE(child.CreateChildProcess("/bin/true", false, 2, false));
    ASSERT_TRUE(child.Wait());
    const std::string job(200000, 'j');
    EXPECT_FALSE(Pipe::Write(child.m_hChildStdinWrDup, job.data(), job.size()));
    // Not delivered (we live), not left pending.
    sigset_t pending;
    sigpending(&pending);
    EXPECT_EQ(sigismember(&pending, SIGPIPE), 0);
}
