#include <gtest/gtest.h>

#include "GhostScript.h"
#include "TestWorld.h"

using namespace testworld;

namespace {
// A stand-in executable that answers --version.
fs::path FakeGs(const fs::path& folder, const std::string& version)
{
    fs::create_directories(folder);
    std::ofstream(folder / "gs") << "#!/bin/sh\necho " << version << "\n";
    fs::permissions(folder / "gs", fs::perms::owner_all);
    return folder / "gs";
}

void Machine(World& world, const std::map<std::string, World::Values>& keys)
{
    World::WriteHive(world.root / "etc/machine.reg", keys);
}
}  // namespace

// An installation key's search path that would add lines of its own to the
// option file is refused; a key naming nothing falls back to PATH.
TEST(GhostScript, FoundThroughTheInstallationKeyOrPath)
{
    World world;
    const fs::path installed = FakeGs(world.root / "gs854", "x");
    const std::pair<const char*, const char*> libs[] = {{"/usr/share/gs", "/usr/share/gs"}, {"/x\" -dNOSAFER \"", ""}};
    for (const auto& [lib, taken] : libs) {
        Machine(world, {{"HKEY_LOCAL_MACHINE\\SOFTWARE\\GPL\\Ghostscript\\8.54",
                         {{"GS_DLL", Sz(installed.string())}, {"GS_LIB", Sz(lib)}}}});
        GhostScript gs("/data/", "");
        EXPECT_EQ(gs.GSPath, (world.root / "gs854/").string());
        EXPECT_STREQ(gs.GSLibPath, taken);
    }
    Machine(world, {{"HKEY_LOCAL_MACHINE\\SOFTWARE\\GPL\\Ghostscript\\8.54", {{"GS_DLL", Sz("/nowhere/gsdll.so")}}}});
    FakeGs(world.root / "bin", "10.00.0");
    world.Set("PATH", (world.root / "empty").string() + ":" + (world.root / "bin").string());
    EXPECT_EQ(GhostScript("/data/", "").GSPath, (world.root / "bin/").string());
    world.Set("PATH", (world.root / "empty").string());
    EXPECT_STREQ(GhostScript("/data/", "").GSPath, "");
}

// Paths with blanks and quotes stay one argument each; overlong ones are cut,
// never spill.
TEST(GhostScript, OptionFileAndCommandLines)
{
    World world;
    const fs::path data = world.root / "data with blank";
    fs::create_directories(data);
    GhostScript gs((data.string() + "/").c_str(), "");
    CopyField(gs.GSPath, "/opt/gs bin/");
    CopyField(gs.GSLibPath, std::string(300, 'l').c_str());
    TextBuffer line;
    ASSERT_TRUE(gs.WriteOptionFile(gs.GSDataDir, line));
    const std::string cfg = (data / "QrxWrite.cfg").string();
    EXPECT_EQ(std::string(line.GetText()),
              "\"/opt/gs bin/gs\" \"@" + cfg + "\" -sOutputFile=-  -q -sstdout=%stderr -f -_");
    const std::string options = ReadAll(cfg);
    EXPECT_EQ(options.rfind(" -I\"" + std::string(260, 'l') + "\"\r\n -sDEVICE=bmp256\r\n", 0), 0u) << options;
    EXPECT_NE(options.find("\r\n -dSAFER\r\n"), std::string::npos);

    gs.GSOutputMethod = FILEOUT;
    CopyField(gs.GSOutputFile, "_dk_%04d.tm_.pdf");
    CopyField(gs.GSInputFile, "/jobs/my job \"1\".ps");
    const std::string longFolder = "/" + std::string(300, 'f') + " out/";
    ASSERT_TRUE(gs.WriteOptionFile(longFolder.c_str(), line));
    EXPECT_EQ(std::string(line.GetText()), "\"/opt/gs bin/gs\" \"@" + cfg + "\" \"-sOutputFile=" + longFolder +
                                               "_dk_%04d.tm_.pdf\"  -q  -f \"/jobs/my job \\\"1\\\".ps\"");
    GhostScript missing((world.root / "missing/").c_str(), "");
    EXPECT_FALSE(missing.WriteOptionFile(missing.GSDataDir, line));
}
