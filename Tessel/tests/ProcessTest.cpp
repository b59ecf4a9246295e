#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <set>
#include <sstream>
#include <unistd.h>

#include "ChildTestTools.h"
#include "Pipe.h"
#include "Process.h"

using childtest::CapturedLog;
using childtest::Eventually;
using childtest::TempDir;

namespace {
std::string ReadToEnd(int handle)
{
    std::string text;
    char buffer[4096];
    long n = 0;
    while ((n = Pipe::Read(handle, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<size_t>(n));
    return text;
}

void ExpectAllPipesClosed(const Process& p)
{
    EXPECT_EQ(p.m_hChildStdinRd, -1);
    EXPECT_EQ(p.m_hChildStdinWrDup, -1);
    EXPECT_EQ(p.m_hChildStdoutRdDup, -1);
    EXPECT_EQ(p.m_hChildStdoutWr, -1);
    EXPECT_EQ(p.m_hChildStderrRdDup, -1);
    EXPECT_EQ(p.m_hChildStderrWr, -1);
}

std::set<int> DescriptorNumbers(const std::string& listing)
{
    std::set<int> numbers;
    std::istringstream words(listing);
    int fd = 0;
    while (words >> fd) numbers.insert(fd);
    return numbers;
}

bool Gone(pid_t pid)
{
    return !std::filesystem::exists("/proc/" + std::to_string(pid));
}
}  // namespace

TEST(ProcessTest, ChildTalksThroughAllThreePipes)
{
    Process child;
    ASSERT_TRUE(child.CreateChildProcess(R"(/bin/sh -c "cat; echo oops >&2; exit 3")", false, 2, true));
    EXPECT_GT(child.GetProcessInfo().hProcess, 0);
    EXPECT_EQ(child.GetProcessInfo().dwProcessId, child.GetProcessInfo().hProcess);
    // The child's own ends that the parent has no use for are already closed.
    EXPECT_EQ(child.m_hChildStdinRd, -1);
    EXPECT_EQ(child.m_hChildStderrWr, -1);
    EXPECT_GT(child.m_hChildStdoutWr, 2);

    const std::string job = "%!PS\nshowpage\n";
    ASSERT_TRUE(Pipe::Write(child.m_hChildStdinWrDup, job.data(), job.size()));
    CloseHandle(child.m_hChildStdinWrDup);
    int status = -1;
    ASSERT_TRUE(child.Wait(&status));
    EXPECT_EQ(status, 3);
    // Only after the caller drops its copy of the write end does the stream end.
    CloseHandle(child.m_hChildStdoutWr);
    EXPECT_EQ(ReadToEnd(child.m_hChildStdoutRdDup), job);
    EXPECT_EQ(ReadToEnd(child.m_hChildStderrRdDup), "oops\n");

    int again = -1;
    EXPECT_TRUE(child.Wait(&again));
    EXPECT_EQ(again, 3);
}

TEST(ProcessTest, ProgramFoundOnPathAndSignalEndReported)
{
    Process child;
    ASSERT_TRUE(child.CreateChildProcess(R"(sh -c "kill -TERM $$")", true, 0, false));
    int status = -1;
    ASSERT_TRUE(child.Wait(&status));
    EXPECT_EQ(status, 128 + SIGTERM);
}

TEST(ProcessTest, MissingProgramFailsAtStartAndIsLogged)
{
    TempDir dir;
    CapturedLog log(dir);
    Process child;
    EXPECT_FALSE(child.CreateChildProcess("/nonexistent/gs -q", false, 2, true));
    ExpectAllPipesClosed(child);
    EXPECT_EQ(child.GetProcessInfo().hProcess, 0);
    EXPECT_FALSE(child.Wait());
    const std::string text = log.Text();
    EXPECT_NE(text.find("Error Code 2 in File ProcessPosix.cpp"), std::string::npos) << text;
    EXPECT_NE(text.find("CreateChildProcess() failed.\r\n"), std::string::npos) << text;

    Process onPath;
    EXPECT_FALSE(onPath.CreateChildProcess("no-such-program-anywhere", true, 0, false));
}

TEST(ProcessTest, EmptyCommandLineAndSecondStartAreRefusedSilently)
{
    TempDir dir;
    CapturedLog log(dir);
    Process child;
    EXPECT_FALSE(child.CreateChildProcess(nullptr, false, 0, false));
    EXPECT_FALSE(child.CreateChildProcess("", false, 0, false));
    EXPECT_EQ(child.GetProcessInfo().hProcess, 0);
    ExpectAllPipesClosed(child);
    EXPECT_EQ(log.Text(), "");

    ASSERT_TRUE(child.CreateChildProcess("/bin/true", true, 0, false));
    const pid_t first = child.GetProcessInfo().hProcess;
    EXPECT_FALSE(child.CreateChildProcess("/bin/true", false, 0, false));
    EXPECT_EQ(child.GetProcessInfo().hProcess, first);
    ExpectAllPipesClosed(child);
    EXPECT_TRUE(child.Wait());
    EXPECT_EQ(log.Text(), "");
}

TEST(ProcessTest, ClosePipesTwiceIsHarmless)
{
    Process child;
    ASSERT_TRUE(child.CreateChildProcess("/bin/cat", false, 2, false));
    child.ClosePipes();
    ExpectAllPipesClosed(child);
    child.ClosePipes();
    ExpectAllPipesClosed(child);
    EXPECT_TRUE(child.Wait());  // cat saw the end of its input
}

TEST(ProcessTest, NoRedirectChildReadsNothingFromOurInput)
{
    TempDir dir;
    const std::string out = dir.Path("in.txt");
    Process child;
    ASSERT_TRUE(child.CreateChildProcess(("/bin/sh -c \"cat > '" + out + "'\"").c_str(), true, 0, false));
    ExpectAllPipesClosed(child);
    int status = -1;
    ASSERT_TRUE(child.Wait(&status));
    EXPECT_EQ(status, 0);
    EXPECT_EQ(childtest::ReadAll(out), "");
}

TEST(ProcessTest, ChildInheritsNoOtherDescriptor)
{
    // A descriptor someone opened without close-on-exec, and the pipes of
    // another running child, must not reach a new child.
    const int stray = dup(1);
    ASSERT_GE(stray, 0);
    Process other;
    ASSERT_TRUE(other.CreateChildProcess("/bin/cat", false, 2, false));

    std::string listing;
    int status = -1;
    ASSERT_TRUE(Process::RunForOutput(R"(/bin/sh -c "ls /proc/$$/fd")", listing, &status));
    EXPECT_EQ(status, 0);
    EXPECT_EQ(DescriptorNumbers(listing), (std::set<int>{0, 1, 2})) << listing;
    close(stray);
    other.ClosePipes();
    EXPECT_TRUE(other.Wait());
}

TEST(ProcessTest, PipeEndsStayOffTheStandardSlots)
{
    // Started with stdin and stdout closed, a pipe end landing on 1 would
    // turn everything this program prints into the child's input.
    fflush(stdout);
    const int savedIn = dup(0), savedOut = dup(1);
    ASSERT_GE(savedIn, 0);
    ASSERT_GE(savedOut, 0);
    close(0);
    close(1);
    std::string output;
    int status = -1;
    int lowest = 1000;
    Process child;
    const bool started = child.CreateChildProcess("/bin/cat", false, 2, false);
    if (started) {
        for (int handle : {child.m_hChildStdinWrDup, child.m_hChildStdoutRdDup, child.m_hChildStdoutWr,
                           child.m_hChildStderrRdDup})
            lowest = std::min(lowest, handle);
        Pipe::Write(child.m_hChildStdinWrDup, "abc", 3);
        CloseHandle(child.m_hChildStdinWrDup);
        CloseHandle(child.m_hChildStdoutWr);
        output = ReadToEnd(child.m_hChildStdoutRdDup);
        child.Wait(&status);
    }
    dup2(savedIn, 0);
    dup2(savedOut, 1);
    close(savedIn);
    close(savedOut);
    ASSERT_TRUE(started);
    EXPECT_GT(lowest, 2);
    EXPECT_EQ(output, "abc");
    EXPECT_EQ(status, 0);
}

TEST(ProcessTest, ChildNeverWaitedForLeavesNoZombie)
{
    pid_t ended = 0, running = 0;
    {
        Process quick;
        ASSERT_TRUE(quick.CreateChildProcess("/bin/true", true, 0, false));
        ended = quick.GetProcessInfo().hProcess;
        Process slow;
        ASSERT_TRUE(slow.CreateChildProcess("/bin/sleep 0.2", true, 0, false));
        running = slow.GetProcessInfo().hProcess;
    }
    EXPECT_TRUE(Eventually([&] { return Gone(ended); }));
    EXPECT_TRUE(Eventually([&] { return Gone(running); }));
}

TEST(ProcessTest, RunForOutputCollectsOutputAndDrainsErrors)
{
    std::string output;
    int status = -1;
    // More on stderr than a pipe holds must not block the child.
    ASSERT_TRUE(Process::RunForOutput(R"(/bin/sh -c "printf 'abc def'; head -c 200000 /dev/zero >&2; exit 4")",
                                      output, &status));
    EXPECT_EQ(output, "abc def");
    EXPECT_EQ(status, 4);

    ASSERT_TRUE(Process::RunForOutput("/bin/sh -c \"head -c 100000 /dev/zero\"", output, &status, 10));
    EXPECT_EQ(output, std::string(10, '\0'));
    EXPECT_EQ(status, 0);

    EXPECT_FALSE(Process::RunForOutput("/nonexistent/program", output));
    EXPECT_EQ(output, "");
}

TEST(ProcessTest, FindProgramLooksOnPath)
{
    EXPECT_FALSE(Process::FindProgram("sh").empty());
    EXPECT_EQ(Process::FindProgram("/bin/sh"), "/bin/sh");
    EXPECT_EQ(Process::FindProgram("/nonexistent/sh"), "");
    EXPECT_EQ(Process::FindProgram("no-such-program-anywhere"), "");
    EXPECT_EQ(Process::FindProgram(""), "");
    EXPECT_EQ(Process::FindProgram(nullptr), "");
}

TEST(PipeTest, WriteToVanishedReaderFailsWithoutSignal)
{
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    close(ends[0]);
    errno = 0;
    EXPECT_FALSE(Pipe::Write(ends[1], "x", 1));
    EXPECT_EQ(errno, EPIPE);
    // The signal was neither delivered (we are alive) nor left pending, and
    // the thread's mask is as before.
    sigset_t pending, mask;
    sigpending(&pending);
    EXPECT_EQ(sigismember(&pending, SIGPIPE), 0);
    pthread_sigmask(SIG_SETMASK, nullptr, &mask);
    EXPECT_EQ(sigismember(&mask, SIGPIPE), 0);
    close(ends[1]);
}

TEST(PipeTest, ReadsToTheEndAndRefusesClosedHandles)
{
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    const std::string big(200000, 'p');  // more than the pipe holds: partial writes
    std::thread writer([&] {
        EXPECT_TRUE(Pipe::Write(ends[1], big.data(), big.size()));
        close(ends[1]);
    });
    EXPECT_EQ(ReadToEnd(ends[0]), big);
    writer.join();
    close(ends[0]);

    char c = 0;
    EXPECT_EQ(Pipe::Read(-1, &c, 1), -1);
    EXPECT_FALSE(Pipe::Write(-1, &c, 1));
}
