#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <chrono>

#include "MessageBox.h"
#include "ScratchFolder.h"

TEST(MessageBoxTest, ForcedAnswersStillShowTheTextOnStderr)
{
    const struct {
        const char* mode;
        unsigned type;
        int answer;
        const char* shown;
    } cases[] = {
        {"YES", MB_YESNO, IDYES, "[Yes]"},
        {"stderr", MB_YESNO, IDNO, "[No]"},
    };
    for (const auto& c : cases) {
        ScopedVariable mode("TESSEL_MESSAGEBOX", c.mode);
        testing::internal::CaptureStderr();
        EXPECT_EQ(MessageBoxA("Open\r\nthe folder?", "Z3 Parsimo", c.type), c.answer) << c.mode;
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  std::string("Z3 Parsimo: Open  the folder? ") + c.shown + "\n");
    }
    ScopedVariable mode("TESSEL_MESSAGEBOX", "stderr");
    EXPECT_EQ(MessageBoxA(nullptr, nullptr, MB_YESNO), IDNO);
}

TEST(MessageBoxTest, DesktopBoxGetsTheTextVerbatimAndItsAnswerCounts)
{
    ScratchFolder dir;
    const std::string record = dir.Path("args");
    dir.WriteScript("zenity", "for a in \"$@\"; do echo \"$a\"; done > '" + record + "'; exit \"$FAKE_EXIT\"");
    ScopedVariable mode("TESSEL_MESSAGEBOX", nullptr);
    ScopedVariable display("DISPLAY", ":99");
    ScopedVariable path("PATH", (dir.Path() + ":/usr/bin:/bin").c_str());
    const std::string text = "<b>Files</b> & \"more\" in /tmp/a b/";
    ScopedVariable yes("FAKE_EXIT", "0");
    EXPECT_EQ(MessageBoxA(text.c_str(), "Z3 Parsimo", MB_YESNO), IDYES);
    EXPECT_EQ(ScratchFolder::Read(record), "--question\n--no-markup\n--title=Z3 Parsimo\n--text=" + text + "\n");
    ScopedVariable no("FAKE_EXIT", "1");
    EXPECT_EQ(MessageBoxA(text.c_str(), "Z3 Parsimo", MB_YESNO), IDNO);
    EXPECT_EQ(MessageBoxA("Failed.", "Z3 Parsimo", MB_OK | MB_ICONERROR), IDOK);
    EXPECT_EQ(ScratchFolder::Read(record).rfind("--error\n", 0), 0u);
}

TEST(MessageBoxTest, NobodyToAskTakesTheDefaultAnswer)
{
    const int terminal = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (terminal >= 0) {
        close(terminal);
        GTEST_SKIP() << "this run has a terminal that could be asked";
    }
    ScratchFolder dir;  // as PATH: no zenity anywhere
    ScopedVariable mode("TESSEL_MESSAGEBOX", nullptr);
    ScopedVariable display("DISPLAY", ":99");
    ScopedVariable path("PATH", dir.Path().c_str());
    testing::internal::CaptureStderr();
    EXPECT_EQ(MessageBoxA("Open the folder?", "Z3 Parsimo", MB_YESNO), IDNO);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Z3 Parsimo: Open the folder? [No]\n");
}

// Under a time limit a box asks zenity to close by itself, and one that does
// not (here: it ignores the option and SIGTERM) is ended with the default answer.
TEST(MessageBoxTest, ABoxNobodyAnswersClosesAfterTheTimeLimit)
{
    ScratchFolder dir;
    const std::string record = dir.Path("args");
    dir.WriteScript("zenity", "for a in \"$@\"; do echo \"$a\"; done > '" + record + "'; trap '' TERM; sleep 60");
    ScopedVariable mode("TESSEL_MESSAGEBOX", nullptr);
    ScopedVariable display("DISPLAY", ":99");
    ScopedVariable path("PATH", (dir.Path() + ":/usr/bin:/bin").c_str());
    SetMessageBoxTimeLimit(1);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(MessageBoxA("Open the folder?", "Z3 Parsimo", MB_YESNO), IDNO);
    EXPECT_EQ(MessageBoxA("Failed.", "Z3 Parsimo", MB_OK | MB_ICONERROR), IDOK);
    SetMessageBoxTimeLimit(0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    EXPECT_NE(ScratchFolder::Read(record).find("--timeout=1\n"), std::string::npos);
}
