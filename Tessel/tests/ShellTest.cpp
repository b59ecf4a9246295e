#include <gtest/gtest.h>

#include "ChildTestTools.h"
#include "Shell.h"

using childtest::CapturedLog;
using childtest::Eventually;
using childtest::ReadAll;
using childtest::ScopedEnv;
using childtest::TempDir;
using childtest::WriteScript;

namespace {
// A program that records its one argument, whole, in a file of the folder.
void WriteRecorder(const TempDir& dir, const std::string& name)
{
    const std::string record = dir.Path(name + ".record");
    WriteScript(dir.Path(name), "printf '%s' \"$1\" > '" + record + ".tmp' && mv '" + record + ".tmp' '" + record + "'");
}

bool Recorded(const TempDir& dir, const std::string& name)
{
    return std::filesystem::exists(dir.Path(name + ".record"));
}

void Touch(const std::string& path)
{
    std::ofstream(path) << "x";
}
}  // namespace

TEST(ShellTest, OpenerGetsTheFileOrFolderAsOneArgument)
{
    TempDir dir;
    WriteRecorder(dir, "opener");
    ScopedEnv opener("TESSEL_OPENER", dir.Path("opener").c_str());
    for (const std::string& target : {dir.Path("my job's \"output\".pdf"), dir.Path("sub folder")}) {
        if (target.back() == 'f')
            Touch(target);
        else
            std::filesystem::create_directory(target);
        std::filesystem::remove(dir.Path("opener.record"));
        EXPECT_GT(ShellOpen(target.c_str()), 32) << target;
        ASSERT_TRUE(Eventually([&] { return Recorded(dir, "opener"); })) << target;
        EXPECT_EQ(ReadAll(dir.Path("opener.record")), target);
    }
}

TEST(ShellTest, MissingFileOrOpenerFails)
{
    TempDir dir;
    CapturedLog log(dir);
    WriteRecorder(dir, "opener");
    {
        ScopedEnv opener("TESSEL_OPENER", dir.Path("opener").c_str());
        EXPECT_EQ(ShellOpen(dir.Path("none.pdf").c_str()), SE_ERR_FNF);
        EXPECT_EQ(ShellOpen(""), SE_ERR_FNF);
        EXPECT_EQ(ShellOpen(nullptr), SE_ERR_FNF);
        EXPECT_FALSE(Recorded(dir, "opener"));
    }
    ScopedEnv opener("TESSEL_OPENER", dir.Path("no-such-opener").c_str());
    EXPECT_EQ(ShellOpen(dir.Path().c_str()), SE_ERR_FNF);
    EXPECT_NE(log.Text().find("CreateChildProcess() failed.\r\n"), std::string::npos);
}

// The desktop route: xdg-mime decides whether anything can open the file,
// xdg-open opens it. Both are stand-ins here.
class DesktopOpenTest : public testing::Test {
protected:
    void SetUp() override
    {
        WriteRecorder(dir, "xdg-open");
        WriteScript(dir.Path("xdg-mime"), "case \"$2\" in\n"
                                          "filetype) printf '%s\\n' \"$FAKE_TYPE\" ;;\n"
                                          "default) printf '%s' \"$3\" > '" +
                                              dir.Path("asked") + "'; [ -n \"$FAKE_APP\" ] && echo \"$FAKE_APP\" ;;\n"
                                                                  "esac\nexit 0");
    }
    std::string Asked() const { return ReadAll(dir.Path("asked")); }

    TempDir dir;
    ScopedEnv opener{"TESSEL_OPENER", nullptr};
    ScopedEnv path{"PATH", (dir.Path() + ":/usr/bin:/bin").c_str()};
};

TEST_F(DesktopOpenTest, AssociatedFileIsOpened)
{
    const std::string pdf = dir.Path("_dk_0001.tm_.pdf");
    Touch(pdf);
    ScopedEnv type("FAKE_TYPE", "application/pdf");
    ScopedEnv app("FAKE_APP", "viewer.desktop");
    EXPECT_GT(ShellOpen(pdf.c_str()), 32);
    EXPECT_EQ(Asked(), "application/pdf");
    ASSERT_TRUE(Eventually([&] { return Recorded(dir, "xdg-open"); }));
    EXPECT_EQ(ReadAll(dir.Path("xdg-open.record")), pdf);
}

TEST_F(DesktopOpenTest, NoAssociatedApplicationIsReported)
{
    const std::string pdf = dir.Path("_dk_0001.tm_.pdf");
    Touch(pdf);
    ScopedEnv type("FAKE_TYPE", "application/pdf");
    ScopedEnv app("FAKE_APP", "");
    EXPECT_EQ(ShellOpen(pdf.c_str()), SE_ERR_NOASSOC);
    EXPECT_FALSE(Recorded(dir, "xdg-open"));
}

TEST_F(DesktopOpenTest, TypeFallsBackToTheExtensionAndFoldersAreDirectories)
{
    ScopedEnv type("FAKE_TYPE", "");  // xdg-mime cannot tell
    ScopedEnv app("FAKE_APP", "viewer.desktop");
    const std::string jpeg = dir.Path("_dk_0001.tm_.JPG");
    Touch(jpeg);
    EXPECT_GT(ShellOpen(jpeg.c_str()), 32);
    EXPECT_EQ(Asked(), "image/jpeg");

    EXPECT_GT(ShellOpen(dir.Path().c_str()), 32);
    EXPECT_EQ(Asked(), "inode/directory");

    // Neither xdg-mime nor the extension knows the type: nothing can open it.
    std::filesystem::remove(dir.Path("asked"));
    const std::string unknown = dir.Path("_dk_0001.tm_");
    Touch(unknown);
    EXPECT_EQ(ShellOpen(unknown.c_str()), SE_ERR_NOASSOC);
    EXPECT_FALSE(std::filesystem::exists(dir.Path("asked")));
}

TEST(ShellTest, MimeTypesOfOurOutputFiles)
{
    EXPECT_STREQ(MimeTypeByExtension("/d/_dk_0001.tm_.pdf"), "application/pdf");
    EXPECT_STREQ(MimeTypeByExtension("A.PDF"), "application/pdf");
    EXPECT_STREQ(MimeTypeByExtension("a.jpg"), "image/jpeg");
    EXPECT_STREQ(MimeTypeByExtension("a.jpeg"), "image/jpeg");
    EXPECT_STREQ(MimeTypeByExtension("a.Bmp"), "image/bmp");
    EXPECT_EQ(MimeTypeByExtension("/d.pdf/_dk_0001"), nullptr);
    EXPECT_EQ(MimeTypeByExtension("a.pdfx"), nullptr);
    EXPECT_EQ(MimeTypeByExtension(nullptr), nullptr);
}
