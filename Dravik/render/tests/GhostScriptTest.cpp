#include <gtest/gtest.h>

#include "GhostScript.h"
#include "TestWorld.h"

using testworld::Sz;
using testworld::World;
namespace fs = std::filesystem;

namespace {
// A stand-in executable that answers --version.
fs::path FakeGs(const fs::path& folder, const std::string& version)
{
    fs::create_directories(folder);
    const fs::path gs = folder / "gs";
    std::ofstream(gs) << "#!/bin/sh\necho " << version << "\n";
    fs::permissions(gs, fs::perms::owner_all);
    return gs;
}

void Machine(World& world, const std::map<std::string, World::Values>& keys)
{
    World::WriteHive(world.root / "etc/machine.reg", keys);
}
}  // namespace

TEST(GhostScript, InstallationKeysInOrder)
{
    World world;
    const fs::path first = FakeGs(world.root / "gs854a", "x");
    const fs::path second = FakeGs(world.root / "gs854b", "x");
    const fs::path old = FakeGs(world.root / "gs705", "x");
    Machine(world, {{"HKEY_LOCAL_MACHINE\\SOFTWARE\\GPL\\Ghostscript\\8.54",
                     {{"GS_DLL", Sz(first.string())}, {"GS_LIB", Sz("/usr/share/gs")}}},
                    {"HKEY_LOCAL_MACHINE\\SOFTWARE\\GPL Ghostscript\\8.54", {{"GS_DLL", Sz(second.string())}}},
                    {"HKEY_LOCAL_MACHINE\\SOFTWARE\\GNU Ghostscript\\7.05", {{"GS_DLL", Sz(old.string())}}}});
    {
        GhostScript gs("/data/", "");
        EXPECT_EQ(gs.GSPath, (world.root / "gs854a/").string());
        EXPECT_STREQ(gs.GSLibPath, "/usr/share/gs");
    }
    // A search path that would add lines of its own to the option file is refused.
    Machine(world, {{"HKEY_LOCAL_MACHINE\\SOFTWARE\\GPL\\Ghostscript\\8.54",
                     {{"GS_DLL", Sz(first.string())}, {"GS_LIB", Sz("/x\" -dNOSAFER \"")}}}});
    {
        GhostScript gs("/data/", "");
        EXPECT_STREQ(gs.GSLibPath, "");
        EXPECT_EQ(gs.GSPath, (world.root / "gs854a/").string());
    }
}

TEST(GhostScript, FallsBackToPath)
{
    World world;
    Machine(world, {{"HKEY_LOCAL_MACHINE\\SOFTWARE\\GPL\\Ghostscript\\8.54", {{"GS_DLL", Sz("/nowhere/gsdll.so")}}}});
    FakeGs(world.root / "bin", "10.00.0");
    world.Set("PATH", (world.root / "empty").string() + ":" + (world.root / "bin").string());
    GhostScript gs("/data/", "");
    EXPECT_EQ(gs.GSPath, (world.root / "bin/").string());
    EXPECT_STREQ(gs.GSVersion, "10.00.0");

    // An installation that keeps its files in a versioned folder is not asked.
    fs::create_directories(world.root / "share/ghostscript/9.56.1");
    fs::create_directories(world.root / "share/ghostscript/fonts");
    GhostScript installed("/data/", "");
    EXPECT_STREQ(installed.GSVersion, "9.56.1");
    fs::create_directories(world.root / "share/ghostscript/9.55.0");
    GhostScript twoVersions("/data/", "");
    EXPECT_STREQ(twoVersions.GSVersion, "10.00.0");

    world.Set("PATH", (world.root / "empty").string());
    GhostScript none("/data/", "");
    EXPECT_STREQ(none.GSPath, "");
}

TEST(GhostScript, OptionFileAndCommandLines)
{
    World world;
    const fs::path data = world.root / "data with blank";
    fs::create_directories(data);
    GhostScript gs((data.string() + "/").c_str(), "");
    CopyField(gs.GSPath, "/opt/gs bin/");
    CopyField(gs.GSLibPath, std::string(300, 'l').c_str());  // cut, as any field
    TextBuffer line;
    ASSERT_TRUE(gs.WriteOptionFile(gs.GSDataDir, line));
    const std::string cfg = (data / "QrxWrite.cfg").string();
    EXPECT_EQ(std::string(line.GetText()),
              "\"/opt/gs bin/gs\" \"@" + cfg + "\" -sOutputFile=-  -q -sstdout=%stderr -f -_");
    const std::string options = testworld::ReadAll(cfg);
    EXPECT_EQ(options.rfind(" -I\"" + std::string(260, 'l') + "\"\r\n -sDEVICE=bmp256\r\n", 0), 0u) << options;
    EXPECT_NE(options.find("\r\n -dSAFER\r\n"), std::string::npos);

    // File output: the output folder and an input path with blanks stay one argument each.
    gs.GSOutputMethod = FILEOUT;
    CopyField(gs.GSDevice, "pdfwrite");
    CopyField(gs.GSOutputFile, "_dk_%04d.tm_.pdf");
    CopyField(gs.GSInputFile, "/jobs/my job \"1\".ps");
    gs.GSResolution = 600;
    const std::string longFolder = "/" + std::string(300, 'f') + " out/";
    ASSERT_TRUE(gs.WriteOptionFile(longFolder.c_str(), line));
    EXPECT_EQ(std::string(line.GetText()), "\"/opt/gs bin/gs\" \"@" + cfg + "\" \"-sOutputFile=" + longFolder +
                                               "_dk_%04d.tm_.pdf\"  -q  -f \"/jobs/my job \\\"1\\\".ps\"");

    // A data folder that cannot take the option file.
    GhostScript missing((world.root / "missing/").c_str(), "");
    EXPECT_FALSE(missing.WriteOptionFile(missing.GSDataDir, line));
}
