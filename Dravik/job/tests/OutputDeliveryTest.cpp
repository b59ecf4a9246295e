#include <algorithm>
#include <chrono>
#include <ctime>
#include <thread>

#include "AppEnvironment.h"
#include "Dravik.h"
#include "GhostScript.h"
#include "Log.h"
#include "OutputDelivery.h"
#include "PrintJobInfo.h"
#include "TestJobs.h"

namespace fs = std::filesystem;

namespace {

class OutputDelivery : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::create_directories(world.DataDir());
        SetLogFileName((world.root / "test.log").c_str());
        gAppEnv = &env;
        gGhostscript = &gs;
        gJobInfo = &job;
    }
    void TearDown() override
    {
        gJobInfo = nullptr;
        gGhostscript = nullptr;
        gAppEnv = nullptr;
        SetLogFileName(nullptr);
    }

    // What the opener was given, once it has had time to write it down.
    std::string Opened()
    {
        std::string text;
        for (int i = 0; i < 200 && (text = ReadAll(world.opened)).find('\n') == std::string::npos; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        return text;
    }

    // Delivers page files of the device (none for a null extension), made in
    // a listing order other than their names'.
    std::string Deliver(const char* device, const char* extension, int pages = 3)
    {
        CopyField(gs.GSDevice, device);
        for (const char* name : {"_dk_0002.tm_", "_dk_0001.tm_", "_dk_0003.tm_"})
            if (extension && pages-- > 0) WriteWholeFile(dataDir + name + extension, name);
        ::testing::internal::CaptureStderr();
        delivered = DeliverOutput();
        return ::testing::internal::GetCapturedStderr();  // the questions asked
    }

    // The names in the output folder, sorted.
    std::vector<std::string> Saved() const
    {
        std::vector<std::string> names;
        if (fs::exists(outputDir))
            for (const auto& entry : fs::directory_iterator(outputDir)) names.push_back(entry.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }

    testworld::World world;
    AppEnvironment env{AppEnvironment::DefaultsOnly{}};
    std::string dataDir = world.DataDir().string() + "/";
    GhostScript gs{dataDir.c_str(), ""};
    PrintJobInfo job;
    fs::path outputDir = world.OutputDir();
    bool delivered = false;
};

}  // namespace

// A name taken gets the date and a number; with no viewer for PDF the user
// is offered the folder.
TEST_F(OutputDelivery, ASecondPdfOfOneTitleGetsANewNameAndTheFolderIsOffered)
{
    CopyField(job.PrintDocumentName, "Quarterly report.PDF");
    world.Set("TESSEL_OPENER", "/bin/true");
    Deliver("PDFWRITE", ".pdf", 1);
    EXPECT_EQ(ReadAll(outputDir / "Quarterly report.pdf"), "_dk_0002.tm_");
    // The stand-in desktop knows a viewer for folders only; xdg-open records what it is asked to open.
    const fs::path bin = world.root / "bin";
    fs::create_directories(bin);
    WriteWholeFile(bin / "xdg-mime", "#!/bin/sh\n[ \"$2\" = filetype ] && echo application/pdf\n"
                                     "[ \"$3\" = inode/directory ] && echo viewer.desktop\nexit 0\n");
    WriteWholeFile(bin / "xdg-open", "#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" + world.opened.string() + "'\n");
    for (const char* tool : {"xdg-mime", "xdg-open"}) fs::permissions(bin / tool, fs::perms::owner_all);
    world.Set("TESSEL_OPENER", "");
    world.Set("PATH", bin.string() + ":" + std::getenv("PATH"));
    world.Set("TESSEL_MESSAGEBOX", "yes");
    const std::string asked = Deliver("pdfwrite", ".pdf", 1);
    char today[16];
    const std::time_t now = std::time(nullptr);
    std::strftime(today, sizeof today, "%Y-%m-%d", std::localtime(&now));
    const std::string second = std::string("Quarterly report ") + today + " (2).pdf";
    EXPECT_EQ(Saved(), (std::vector<std::string>{second, "Quarterly report.pdf"}));
    EXPECT_NE(asked.find(second), std::string::npos) << asked;
    EXPECT_EQ(Opened(), outputDir.string() + "\n");
}

// Titles never leave the folder nor plant control characters; a link planted
// under a name (at someone else's file, or nowhere) is left as it is and the
// job takes the next name.
TEST_F(OutputDelivery, HostileTitlesStayInTheFolderAndPlantedLinksAreNotFollowed)
{
    world.Set("TESSEL_OPENER", "/bin/true");  // what is opened is not the question here
    for (const char* title : {"../../x", "a/b", "\x1b[2J\tbell\x07", ".hidden", ""}) {
        CopyField(job.PrintDocumentName, title);
        Deliver("pdfwrite", ".pdf", 1);
        EXPECT_TRUE(delivered) << title;
    }
    EXPECT_EQ(Saved(),
              (std::vector<std::string>{"Document.pdf", "_.._x.pdf", "_[2J_bell_.pdf", "a_b.pdf", "hidden.pdf"}));

    const fs::path victim = world.root / "victim";
    WriteWholeFile(victim, "precious");
    fs::create_symlink(victim, outputDir / "Report.pdf");
    fs::create_symlink(world.root / "nowhere", outputDir / "Report page 1.jpg");
    CopyField(job.PrintDocumentName, "Report");
    Deliver("pdfwrite", ".pdf", 1);
    Deliver("jpeg", ".jpg", 2);
    EXPECT_EQ(ReadAll(victim), "precious");
    EXPECT_FALSE(fs::exists(world.root / "nowhere"));
    EXPECT_EQ(Saved().size(), 5u + 2u + 1u + 2u);  // the earlier ones, both links, one PDF, two pages
}

TEST_F(OutputDelivery, AFolderThatCannotBeMadeKeepsTheWorkingFilesAndFails)
{
    WriteWholeFile(world.root / "documents", "a file where the folder should be");
    Deliver("pdfwrite", ".pdf", 1);
    EXPECT_FALSE(delivered);
    EXPECT_TRUE(fs::exists(world.DataDir() / "_dk_0002.tm_.pdf"));
}

TEST(OutputFolder, ComesFromTheSettingOrTheUsersDocumentsFolder)
{
    EXPECT_EQ(DocumentsFolderOf("# written by xdg-user-dirs-update\n"
                                "XDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n"
                                "  XDG_DOCUMENTS_DIR=\"/srv/my \\\"docs\\\"\"",
                                "/home/ann"),
              "/srv/my \"docs\"");
    // Relative or unfinished entries name nothing.
    for (const char* text : {"XDG_DOCUMENTS_DIR=\"Documents\"", "XDG_DOCUMENTS_DIR=\"/open"})
        EXPECT_EQ(DocumentsFolderOf(text, "/home/ann"), "") << text;

    testworld::World world;
    EXPECT_EQ(OutputFolderPath("/srv/out/"), "/srv/out");
    world.Set("TESSEL_DOCUMENTS", "");
    world.Set("HOME", (world.root / "home").string());
    world.Set("XDG_CONFIG_HOME", (world.root / "config").string());
    EXPECT_EQ(OutputFolderPath("relative/out"), (world.root / "home/Documents/Parsimo").string());
    fs::create_directories(world.root / "config");
    WriteWholeFile(world.root / "config/user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"$HOME/Papers\"\n");
    EXPECT_EQ(OutputFolderPath(nullptr), (world.root / "home/Papers/Parsimo").string());
}

// Cut at 150 bytes, never inside a character: "ä" is two bytes.
TEST(OutputFolder, LongTitlesAreCutBetweenCharacters)
{
    std::string longTitle = "a";
    for (int i = 0; i < 100; ++i) longTitle += "\xc3\xa4";
    const std::string stem = SafeFileStem(longTitle.c_str());
    EXPECT_EQ(stem.size(), 149u);
    EXPECT_EQ(stem.substr(stem.size() - 2), "\xc3\xa4");
}
