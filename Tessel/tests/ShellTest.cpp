#include <gtest/gtest.h>

#include "ChildTestTools.h"
#include "Shell.h"

using namespace childtest;

namespace {
// A program that records its one argument, whole, in <name>.record.
void WriteRecorder(const TempDir& dir, const std::string& name)
{
    const std::string record = dir.Path(name + ".record");
    WriteScript(dir.Path(name), "printf '%s' \"$1\" > '" + record + ".tmp' && mv '" + record + ".tmp' '" + record + "'");
}

std::string Recorded(const TempDir& dir, const std::string& name)
{
    const std::string record = dir.Path(name + ".record");
    return Eventually([&] { return std::filesystem::exists(record); }) ? ReadAll(record) : "(nothing)";
}

void Touch(const std::string& path)
{
    std::ofstream(path) << "x";
}
}  // namespace

TEST(ShellTest, OpenerGetsTheFileOrFolderAsOneArgument)
{
    TempDir dir;
    CapturedLog log(dir);
    WriteRecorder(dir, "opener");
    ScopedEnv opener("TESSEL_OPENER", dir.Path("opener").c_str());
    const std::string pdf = dir.Path("my job's \"output\".pdf"), folder = dir.Path("sub folder");
    Touch(pdf);
    std::filesystem::create_directory(folder);
    for (const std::string& target : {pdf, folder}) {
        std::filesystem::remove(dir.Path("opener.record"));
        EXPECT_GT(ShellOpen(target.c_str()), 32) << target;
        EXPECT_EQ(Recorded(dir, "opener"), target);
    }
    EXPECT_EQ(ShellOpen(dir.Path("none.pdf").c_str()), SE_ERR_FNF);
    EXPECT_EQ(ShellOpen(nullptr), SE_ERR_FNF);

    ScopedEnv missing("TESSEL_OPENER", dir.Path("no-such-opener").c_str());
    EXPECT_EQ(ShellOpen(folder.c_str()), SE_ERR_FNF);
    EXPECT_NE(log.Text().find("CreateChildProcess() failed.\r\n"), std::string::npos);
}

TEST(ShellTest, DesktopAssociationDecidesWhetherToOpen)
{
    // Stand-ins: xdg-mime reports $FAKE_TYPE and, for a default, $FAKE_APP
    // (noting the type it was asked about); xdg-open records its argument.
    TempDir dir;
    WriteRecorder(dir, "xdg-open");
    WriteScript(dir.Path("xdg-mime"), "case \"$2\" in filetype) echo \"$FAKE_TYPE\" ;;\n default) printf '%s' \"$3\" > '" +
                                          dir.Path("asked") + "'; echo \"$FAKE_APP\" ;; esac");
    ScopedEnv opener("TESSEL_OPENER", nullptr);
    ScopedEnv path("PATH", (dir.Path() + ":/usr/bin:/bin").c_str());
    const std::string pdf = dir.Path("_dk_0001.tm_.pdf"), jpeg = dir.Path("_dk_0001.tm_.JPG"),
                      bare = dir.Path("_dk_0001.tm_");
    for (const std::string& name : {pdf, jpeg, bare}) Touch(name);
    {
        ScopedEnv type("FAKE_TYPE", "application/pdf");
        ScopedEnv app("FAKE_APP", "");
        EXPECT_EQ(ShellOpen(pdf.c_str()), SE_ERR_NOASSOC);
        EXPECT_FALSE(std::filesystem::exists(dir.Path("xdg-open.record")));
    }
    ScopedEnv app("FAKE_APP", "viewer.desktop");
    // Each opening is awaited, so no recorder outlives the folder.
    const auto opened = [&](const std::string& target) {
        std::filesystem::remove(dir.Path("xdg-open.record"));
        return ShellOpen(target.c_str()) > 32 && Recorded(dir, "xdg-open") == target;
    };
    {
        ScopedEnv type("FAKE_TYPE", "application/pdf");
        EXPECT_TRUE(opened(pdf));
    }
    ScopedEnv unknownType("FAKE_TYPE", "");  // xdg-mime cannot tell: the extension can
    EXPECT_TRUE(opened(jpeg));
    EXPECT_EQ(ReadAll(dir.Path("asked")), "image/jpeg");
    EXPECT_TRUE(opened(dir.Path()));
    EXPECT_EQ(ReadAll(dir.Path("asked")), "inode/directory");
    EXPECT_EQ(ShellOpen(bare.c_str()), SE_ERR_NOASSOC);  // nobody knows the type
}

TEST(ShellTest, MimeTypesOfOurOutputFiles)
{
    EXPECT_STREQ(MimeTypeByExtension("/d/_dk_0001.tm_.PDF"), "application/pdf");
    EXPECT_STREQ(MimeTypeByExtension("a.jpeg"), "image/jpeg");
    EXPECT_STREQ(MimeTypeByExtension("a.Bmp"), "image/bmp");
    EXPECT_EQ(MimeTypeByExtension("/d.pdf/_dk_0001"), nullptr);
    EXPECT_EQ(MimeTypeByExtension("a.pdfx"), nullptr);
    EXPECT_EQ(MimeTypeByExtension(nullptr), nullptr);
}
