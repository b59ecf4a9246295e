#include <gtest/gtest.h>

#include "JobExit.h"
#include "Printers.h"

using namespace testworld;

namespace {
const char* kJob = "/Helvetica findfont 24 scalefont setfont\n"
                   "1 1 3 { 72 700 moveto (Page ) show 3 string cvs show showpage } for\n";

// The installation's program, standing in as a script with this body.
void InstalledProgram(const World& world, const std::string& body)
{
    const fs::path program = world.root / "install/Parsimo";
    std::ofstream(program) << "#!/bin/sh\n" << body;
    fs::permissions(program, fs::perms::owner_all);
}
}  // namespace

TEST(DravikRun, StopsWithoutInstallationOrGhostscript)
{
    World world;
    world.Settings({{"ShowDialog", Dword(0)}});
    RunResult r = World::Dravik({});
    EXPECT_EQ(r.status, 255);
    EXPECT_NE(r.err.find("Parsimo installation not found!"), std::string::npos) << r.err;

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
    // The dialog cancels the job through the registry.
    InstalledProgram(world, "[ \"$1\" = /dialog ] || exit 3\n"
                            "printf 'REGEDIT4\\r\\n\\r\\n[HKEY_CURRENT_USER\\\\SOFTWARE\\\\QMVK\\\\Parsimo]\\r\\n"
                            "\"PrintJobCancellation\"=dword:00000001\\r\\n' > \"$TESSEL_HKCU.new\"\n"
                            "mv \"$TESSEL_HKCU.new\" \"$TESSEL_HKCU\"\n");
    fs::create_directories(world.DataDir());
    std::ofstream(world.DataDir() / "_dk_0001.tm_") << "old page";
    const RunResult r = World::Dravik({world.Job(kJob)});
    EXPECT_EQ(r.status, kExitCancelled);
    EXPECT_EQ(r.err, "");  // no message box
    EXPECT_TRUE(fs::exists(world.DataDir() / "_dk_0001.tm_"));
}

// Under the queue the dialog is told its time limit, and a dialog that
// closed unanswered lets the job go on with the settings as they are. The
// stand-in answers "not answered" only when it was given the limit.
TEST(DravikRun, AnUnansweredDialogUnderTheQueueLetsTheJobGoOn)
{
    World world;
    world.Install({{"ShowDialog", Dword(1)}, {"PrintOutFormat", Sz("PDF")}});
    InstalledProgram(world, "[ \"$PARSIMO_DIALOG_TIMEOUT\" = 300 ] && exit 3\nexit 0\n");
    const std::string unanswered = "The settings dialog was not answered within 300 seconds";
    for (const bool underQueue : {false, true}) {
        if (underQueue) world.Set("PARSIMO_JOB_ID", "17");
        const RunResult r = World::Dravik({world.Job(kJob)});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(ReadAll(world.UserLog()).find(unanswered) != std::string::npos, underQueue);
    }
}

// Any job file name, options it does not know, a percent sign in the data
// folder: one PDF holding every page, saved under the title's name (a job
// without one is a "Document") and opened; what earlier jobs left goes.
TEST(DravikRun, PdfJobRunsEndToEnd)
{
    World world;
    world.Install({{"ShowDialog", Dword(0)}, {"PrintOutFormat", Sz("PDF")}, {"LogLevel", Dword(0)}});
    world.Set("TESSEL_APPDATA", (world.root / "user/100%d").string());
    const fs::path data = world.root / "user/100%d/QMVK/Parsimo";
    fs::create_directories(data);
    for (const char* left : {"_dk_0007.tm_", "_dk_0001.tm_.jpg", "_dk_spare2.tm_"})
        std::ofstream(data / left) << "left by an earlier job";
    world.Job(kJob, "2024-report.ps");
    const fs::path cwd = fs::current_path();
    fs::current_path(world.root);
    const RunResult r = World::Dravik({"-std", "2024-report.ps", "-bogus", "other.ps"});
    fs::current_path(cwd);  // the world's folder goes with the test
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(NamesIn(data, "_dk_").empty());
    const std::string log = ReadAll(data / "Parsimo.log");
    EXPECT_NE(log.find("Unknown option -bogus on the command line is ignored."), std::string::npos) << log;
    EXPECT_NE(log.find("A second job file on the command line is ignored: other.ps"), std::string::npos);
    const fs::path saved = world.OutputDir() / "Document.pdf";
    EXPECT_NE(World::Run({"/usr/bin/pdfinfo", saved.string()}).out.find("Pages:           3"), std::string::npos);
    EXPECT_EQ(ReadAll(world.opened), saved.string() + "\n");
}

TEST(DravikRun, JobOnStandardInput)
{
    World world;
    world.Install({{"ShowDialog", Dword(0)}, {"PrintOutFormat", Sz("IMAGE")}, {"DefaultImageFormat", Sz("jpg")}});
    const RunResult r = World::Dravik({}, world.Job(kJob));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(std::distance(fs::directory_iterator(world.OutputDir()), {}), 3);
    EXPECT_TRUE(fs::exists(world.OutputDir() / "Document page 3.jpg"));
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
    InstalledProgram(world, "for a in \"$@\"; do echo \"$a\"; done > '" + record.string() + "'\n");
    for (const bool underQueue : {false, true}) {
        if (underQueue) world.Set("PARSIMO_JOB_ID", "17");
        const RunResult r = World::Dravik({world.Job(kJob)});
        // Its scheduler does not answer for now; the reason goes to the box
        // and, under the queue, to standard error as the job's state.
        EXPECT_EQ(r.status, kExitTryLater);
        EXPECT_EQ(r.err, underQueue ? "ERROR: Could not open the virtual printer (Missing)!\n" : "");
        EXPECT_EQ(ReadAll(record), std::string("/message\n--kind=error\n--title=Z3 Parsimo\n") +
                                       "--text=Could not open the virtual printer (Missing)!\n" +
                                       (underQueue ? "--timeout=120\n" : ""));
    }
}
