#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <chrono>

#include "MessageBox.h"
#include "ScratchFolder.h"

// The message program stands in as a script that records its arguments and
// answers with the exit status it is told.
class MessageProgram {
public:
    explicit MessageProgram(const std::string& body)
        : m_program(m_dir.WriteScript("Parsimo", "for a in \"$@\"; do echo \"$a\"; done > '" + Record() + "'; " + body))
    {
        SetMessageBoxProgram(m_program.c_str());
    }
    ~MessageProgram() { SetMessageBoxProgram(nullptr); }
    std::string Record() const { return m_dir.Path("args"); }

private:
    ScratchFolder m_dir;
    std::string m_program;
};

TEST(MessageBoxTest, DesktopBoxGetsTheTextVerbatimAndItsAnswerCounts)
{
    const MessageProgram program("exit \"$FAKE_EXIT\"");
    ScopedVariable mode("TESSEL_MESSAGEBOX", nullptr);
    ScopedVariable display("DISPLAY", ":99");
    const std::string text = "<b>Files</b> & \"more\" in /tmp/a b/\n--kind=info";
    ScopedVariable yes("FAKE_EXIT", "0");
    EXPECT_EQ(MessageBoxA(text.c_str(), "Z3 Parsimo", MB_YESNO), IDYES);
    EXPECT_EQ(ScratchFolder::Read(program.Record()),
              "/message\n--kind=question\n--title=Z3 Parsimo\n--text=" + text + "\n");
    ScopedVariable no("FAKE_EXIT", "1");
    EXPECT_EQ(MessageBoxA(text.c_str(), "Z3 Parsimo", MB_YESNO), IDNO);
}

// A program that showed nothing (its desktop part not installed, no display
// after all, a crash) is no answer: the box falls back to the next way.
TEST(MessageBoxTest, AProgramThatShowedNothingIsNoAnswer)
{
    const int terminal = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (terminal >= 0) {
        close(terminal);
        GTEST_SKIP() << "this run has a terminal that could be asked";
    }
    ScopedVariable mode("TESSEL_MESSAGEBOX", nullptr);
    ScopedVariable display("DISPLAY", ":99");
    for (const char* body : {"exit 4", "kill -SEGV $$"}) {
        const MessageProgram program(body);
        testing::internal::CaptureStderr();
        EXPECT_EQ(MessageBoxA("Open the folder?", "Z3 Parsimo", MB_YESNO), IDNO) << body;
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "Z3 Parsimo: Open the folder? [No]\n") << body;
    }
    // Nor is a program that is not there.
    SetMessageBoxProgram("/nonexistent/Parsimo");
    testing::internal::CaptureStderr();
    EXPECT_EQ(MessageBoxA("Failed.", "Z3 Parsimo", MB_OK | MB_ICONERROR), IDOK);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Z3 Parsimo: Failed. [OK]\n");
    SetMessageBoxProgram(nullptr);
}

// Under a time limit the program is told it and a box that does not close
// by itself (here: it ignores SIGTERM) is ended with the default answer; one
// that closed unanswered gives the default answer too.
TEST(MessageBoxTest, ABoxNobodyAnswersClosesAfterTheTimeLimit)
{
    const MessageProgram program("[ \"$FAKE_EXIT\" ] && exit \"$FAKE_EXIT\"; trap '' TERM; exec sleep 60");
    ScopedVariable mode("TESSEL_MESSAGEBOX", nullptr);
    ScopedVariable display("DISPLAY", ":99");
    SetMessageBoxTimeLimit(1);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(MessageBoxA("Open the folder?", "Z3 Parsimo", MB_YESNO), IDNO);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    EXPECT_NE(ScratchFolder::Read(program.Record()).find("--timeout=1\n"), std::string::npos);
    ScopedVariable unanswered("FAKE_EXIT", "3");
    EXPECT_EQ(MessageBoxA("Open the folder?", "Z3 Parsimo", MB_YESNO), IDNO);
    SetMessageBoxTimeLimit(0);
}
