#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include "ChildTestTools.h"
#include "MessageBox.h"

using childtest::ScopedEnv;
using childtest::TempDir;

TEST(MessageBoxTest, ForcedAnswersStillShowTheTextOnStderr)
{
    const struct {
        const char* mode;
        unsigned type;
        int answer;
        const char* shown;
    } cases[] = {
        {"yes", MB_YESNO, IDYES, "[Yes]"},     {"no", MB_YESNO, IDNO, "[No]"},
        {"stderr", MB_YESNO, IDNO, "[No]"},    {"YES", MB_YESNO | MB_ICONERROR, IDYES, "[Yes]"},
        {"yes", MB_OK, IDOK, "[OK]"},          {"no", MB_OK | MB_ICONERROR, IDOK, "[OK]"},
        {"stderr", MB_OK, IDOK, "[OK]"},       {"whatever", MB_YESNO, IDNO, "[No]"},
    };
    for (const auto& c : cases) {
        ScopedEnv mode("TESSEL_MESSAGEBOX", c.mode);
        testing::internal::CaptureStderr();
        EXPECT_EQ(MessageBoxA("Open the folder?", "Z3 Parsimo", c.type), c.answer) << c.mode;
        EXPECT_EQ(testing::internal::GetCapturedStderr(), std::string("Z3 Parsimo: Open the folder? ") + c.shown + "\n")
            << c.mode;
    }
}

TEST(MessageBoxTest, TextBecomesOneLineAndNullsAreSafe)
{
    ScopedEnv mode("TESSEL_MESSAGEBOX", "stderr");
    testing::internal::CaptureStderr();
    EXPECT_EQ(MessageBoxA("File a.pdf\r\nis open.\n", "Z3 Parsimo", MB_OK), IDOK);
    EXPECT_EQ(MessageBoxA(nullptr, nullptr, MB_YESNO), IDNO);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Z3 Parsimo: File a.pdf  is open.  [OK]\n:  [No]\n");
}

TEST(MessageBoxTest, DesktopBoxGetsTheTextVerbatimAndItsAnswerCounts)
{
    TempDir dir;
    const std::string record = dir.Path("args");
    childtest::WriteScript(dir.Path("zenity"),
                           "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" + record + "'\nexit \"$FAKE_EXIT\"");
    ScopedEnv mode("TESSEL_MESSAGEBOX", nullptr);
    ScopedEnv display("DISPLAY", ":99");
    ScopedEnv path("PATH", (dir.Path() + ":/usr/bin:/bin").c_str());
    const char* text = "<b>Files</b> & \"more\" in /tmp/a b/";
    {
        ScopedEnv exitCode("FAKE_EXIT", "0");
        EXPECT_EQ(MessageBoxA(text, "Z3 Parsimo", MB_YESNO), IDYES);
        EXPECT_EQ(childtest::ReadAll(record),
                  std::string("--question\n--no-markup\n--title=Z3 Parsimo\n--text=") + text + "\n");
    }
    {
        ScopedEnv exitCode("FAKE_EXIT", "1");
        EXPECT_EQ(MessageBoxA(text, "Z3 Parsimo", MB_YESNO), IDNO);
        EXPECT_EQ(MessageBoxA("Failed.", "Z3 Parsimo", MB_OK | MB_ICONERROR), IDOK);
        EXPECT_EQ(childtest::ReadAll(record).rfind("--error\n", 0), 0u);
        EXPECT_EQ(MessageBoxA("Note.", "Z3 Parsimo", MB_OK), IDOK);
        EXPECT_EQ(childtest::ReadAll(record).rfind("--info\n", 0), 0u);
    }
}

TEST(MessageBoxTest, NobodyToAskTakesTheDefaultAnswer)
{
    const int terminal = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (terminal >= 0) {
        close(terminal);
        GTEST_SKIP() << "this run has a terminal that could be asked";
    }
    TempDir dir;  // an empty PATH folder: no zenity
    ScopedEnv mode("TESSEL_MESSAGEBOX", nullptr);
    ScopedEnv display("DISPLAY", ":99");
    ScopedEnv wayland("WAYLAND_DISPLAY", nullptr);
    ScopedEnv path("PATH", dir.Path().c_str());
    testing::internal::CaptureStderr();
    EXPECT_EQ(MessageBoxA("Open the folder?", "Z3 Parsimo", MB_YESNO), IDNO);
    EXPECT_EQ(MessageBoxA("Done.", "Z3 Parsimo", MB_OK), IDOK);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Z3 Parsimo: Open the folder? [No]\nZ3 Parsimo: Done. [OK]\n");
}
