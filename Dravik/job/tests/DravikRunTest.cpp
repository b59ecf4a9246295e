#include <gtest/gtest.h>

#include "JobExit.h"
#include "TestWorld.h"

using testworld::Dword;
using testworld::RunResult;
using testworld::Sz;
using testworld::World;
namespace fs = std::filesystem;

namespace {
const char* kJob = "/Helvetica findfont 24 scalefont setfont\n"
                   "1 1 3 { 72 700 moveto (Page ) show 3 string cvs show showpage } for\n";
}  // namespace

TEST(DravikRun, StopsWithoutInstallationOrGhostscript)
{
    World world;
    world.Settings({{"ShowDialog", Dword(0)}});
    RunResult r = World::Dravik({});
    EXPECT_EQ(r.status, 255);
    EXPECT_NE(r.err.find("Parsimo installation not found!"), std::string::npos) << r.err;
    EXPECT_NE(testworld::ReadAll(world.CommonLog()).find("Parsimo Installation not found!\r\n"), std::string::npos);

    world.Install({{"ShowDialog", Dword(0)}});
    world.Set("PATH", (world.root / "system").string());
    r = World::Dravik({});
    EXPECT_EQ(r.status, 255);
    EXPECT_NE(r.err.find("Ghostscript installation not found!"), std::string::npos) << r.err;
}

TEST(DravikRun, DialogCancelsBeforeAnyFileIsDeleted)
{
    World world;
    world.Install({{"ShowDialog", Dword(1)}, {"PrintOutFormat", Sz("PDF")}});
    // The dialog stands in as a script that cancels the job through the registry.
    const fs::path dialog = world.root / "install/Parsimo";
    std::ofstream(dialog) << "#!/bin/sh\n[ \"$1\" = /dialog ] || exit 3\n"
                             "printf 'REGEDIT4\\r\\n\\r\\n[HKEY_CURRENT_USER\\\\SOFTWARE\\\\QMVK\\\\Parsimo]\\r\\n"
                             "\"PrintJobCancellation\"=dword:00000001\\r\\n' > \"$TESSEL_HKCU.new\"\n"
                             "mv \"$TESSEL_HKCU.new\" \"$TESSEL_HKCU\"\n";
    fs::permissions(dialog, fs::perms::owner_all);
    fs::create_directories(world.DataDir());
    std::ofstream(world.DataDir() / "_dk_0001.tm_") << "old page";
    const RunResult r = World::Dravik({world.Job(kJob)});
    EXPECT_EQ(r.status, kExitCancelled);
    EXPECT_EQ(r.err, "");  // no message box
    EXPECT_TRUE(fs::exists(world.DataDir() / "_dk_0001.tm_"));
    EXPECT_NE(testworld::ReadAll(world.UserLog()).find("The print job was canceled by user.\r\n"), std::string::npos);
}

// Under the queue the dialog is told its time limit, and a dialog that
// closed unanswered lets the job go on with the settings as they are. The
// stand-in answers "not answered" only when it was given the limit.
TEST(DravikRun, AnUnansweredDialogUnderTheQueueLetsTheJobGoOn)
{
    World world;
    world.Install({{"ShowDialog", Dword(1)}, {"PrintOutFormat", Sz("PDF")}});
    const fs::path dialog = world.root / "install/Parsimo";
    std::ofstream(dialog) << "#!/bin/sh\n[ \"$PARSIMO_DIALOG_TIMEOUT\" = 300 ] && exit 3\nexit 0\n";
    fs::permissions(dialog, fs::perms::owner_all);
    const std::string unanswered = "The settings dialog was not answered within 300 seconds; the job goes on with "
                                   "the settings as they are.\r\n";

    RunResult r = World::Dravik({world.Job(kJob)});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(testworld::ReadAll(world.UserLog()).find(unanswered), std::string::npos);

    world.Set("PARSIMO_JOB_ID", "17");
    r = World::Dravik({world.Job(kJob)});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(testworld::ReadAll(world.UserLog()).find(unanswered), std::string::npos);
    EXPECT_TRUE(fs::exists(world.OutputDir() / "Document.pdf"));
}

TEST(DravikRun, PdfJobRunsEndToEnd)
{
    World world;
    world.Install({{"ShowDialog", Dword(0)}, {"PrintOutFormat", Sz("PDF")}, {"LogLevel", Dword(0)}}, {});
    fs::create_directories(world.DataDir());
    std::ofstream(world.DataDir() / "_dk_0007.tm_") << "left by an earlier job";
    std::ofstream(world.DataDir() / "_dk_0001.tm_.jpg") << "left by an earlier job";
    std::ofstream(world.DataDir() / "_dk_spare2.tm_") << "left by a killed job";
    const RunResult r = World::Dravik({"-std", world.Job(kJob, "my job.ps")});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_FALSE(fs::exists(world.DataDir() / "_dk_0007.tm_"));
    EXPECT_FALSE(fs::exists(world.DataDir() / "_dk_0001.tm_.jpg"));
    EXPECT_FALSE(fs::exists(world.DataDir() / "_dk_spare2.tm_"));
    // Saved for the user under the title's name (a job without one is a
    // "Document"); the data folder keeps nothing of it.
    EXPECT_FALSE(fs::exists(world.DataDir() / "_dk_0001.tm_.pdf"));
    const fs::path saved = world.OutputDir() / "Document.pdf";
    EXPECT_EQ(testworld::ReadAll(saved).substr(0, 5), "%PDF-");
    EXPECT_EQ(testworld::ReadAll(world.opened), saved.string() + "\n");
}

TEST(DravikRun, JobOnStandardInput)
{
    World world;
    world.Install({{"ShowDialog", Dword(0)}, {"PrintOutFormat", Sz("IMAGE")}, {"DefaultImageFormat", Sz("jpg")}});
    const RunResult r = World::Dravik({}, world.Job(kJob));
    EXPECT_EQ(r.status, 0) << r.err;
    for (const char* page : {"Document page 1.jpg", "Document page 2.jpg", "Document page 3.jpg"})
        EXPECT_TRUE(fs::exists(world.OutputDir() / page)) << page;
    EXPECT_FALSE(fs::exists(world.OutputDir() / "Document page 4.jpg"));
}

// The installation's settings program shows the message boxes (it hands
// them to its desktop part), under the queue with a time limit.
TEST(DravikRun, MessageBoxesAreTheInstalledProgramsUnderTheQueueWithATimeLimit)
{
    World world;
    world.Install({{"ShowDialog", Dword(0)}, {"PrinterName", Sz("Missing")}});
    world.Set("TESSEL_MESSAGEBOX", "");
    world.Set("DISPLAY", ":99");
    const fs::path record = world.root / "args";
    const fs::path program = world.root / "install/Parsimo";
    std::ofstream(program) << "#!/bin/sh\nfor a in \"$@\"; do echo \"$a\"; done > '" << record.string() << "'\n";
    fs::permissions(program, fs::perms::owner_all);
    for (const bool underQueue : {false, true}) {
        if (underQueue) world.Set("PARSIMO_JOB_ID", "17");
        const RunResult r = World::Dravik({world.Job(kJob)});
        // Its scheduler does not answer for now; the reason goes to the box
        // and, under the queue, to standard error as the job's state.
        EXPECT_EQ(r.status, kExitTryLater);
        EXPECT_EQ(r.err, underQueue ? "ERROR: Could not open the virtual printer (Missing)!\n" : "");
        EXPECT_EQ(testworld::ReadAll(record), std::string("/message\n--kind=error\n--title=Z3 Parsimo\n") +
                                                  "--text=Could not open the virtual printer (Missing)!\n" +
                                                  (underQueue ? "--timeout=120\n" : ""));
    }
}
