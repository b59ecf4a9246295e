// How a job ends when something goes wrong: the exit code, the message, the
// log, and what is left behind, through the real program and real Ghostscript.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "JobExit.h"
#include "Printers.h"
#include "TestWorld.h"

using testworld::Dword;
using testworld::ReadAll;
using testworld::RunResult;
using testworld::Sz;
using testworld::World;
namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {
World::Values PrintSettings(uint32_t timeout = 600)
{
    return {{"ShowDialog", Dword(0)},
            {"PrinterName", Sz("Parsimo")},
            {"TargetPrinterName", Sz("Target")},
            {"JobTimeout", Dword(timeout)}};
}

// Every file in the target printer's job folder, hidden ones included.
std::vector<std::string> JobFiles(const World& world)
{
    std::vector<std::string> names;
    if (fs::is_directory(world.root / "printers/Target"))
        for (const auto& entry : fs::directory_iterator(world.root / "printers/Target"))
            names.push_back(entry.path().filename().string());
    return names;
}

std::vector<std::string> PageFilesLeft(const World& world)
{
    std::vector<std::string> names;
    if (fs::is_directory(world.DataDir()))
        for (const auto& entry : fs::directory_iterator(world.DataDir()))
            if (entry.path().filename().string().rfind("_dk_", 0) == 0) names.push_back(entry.path().string());
    return names;
}

// Pids of the processes whose command line mentions text (Ghostscript's
// names the option file in the world's data folder).
std::vector<pid_t> ProcessesMentioning(const std::string& text)
{
    std::vector<pid_t> pids;
    for (const auto& entry : fs::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        std::string cmdline = ReadAll(entry.path() / "cmdline");
        if (cmdline.find(text) != std::string::npos && ReadAll(entry.path() / "stat").find(") Z") == std::string::npos)
            pids.push_back(std::stoi(name));
    }
    return pids;
}

bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit = 20s)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(50ms);
    }
    return true;
}

// Dravik started in the background, its standard error into a file.
class Background {
public:
    Background(const std::vector<std::string>& args, const fs::path& errFile, const fs::path& input = "/dev/null")
    {
        const int err = open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        std::vector<std::string> argv{DRAVIK_EXE};
        argv.insert(argv.end(), args.begin(), args.end());
        m_pid = World::Spawn(argv, input, err, err);
        close(err);
    }
    ~Background()
    {
        if (m_pid > 0 && m_status < 0) {
            kill(m_pid, SIGKILL);
            Wait();
        }
    }
    pid_t Pid() const { return m_pid; }
    int Wait()
    {
        if (m_status < 0) m_status = World::Reap(m_pid);
        return m_status;
    }

private:
    pid_t m_pid = -1;
    int m_status = -1;
};

const char* kTwoPagesThenForever = "1 1 2 { pop 72 72 144 144 rectfill showpage } for {} loop\n";
}  // namespace

TEST(JobOutcome, AJobThatCannotRunToItsEndFailsWithMessageAndLogLine)
{
    World world;
    AddPrinters(world);
    world.Install(PrintSettings());
    fs::create_directories(world.root / "folder.ps");
    const std::pair<std::string, std::string> cases[] = {
        {(world.root / "missing.ps").string(), "cannot be read"},
        {(world.root / "folder.ps").string(), "cannot be read"},
        {world.Job(""), "holds no page"},
        {world.Job("1 1 5 { dup 3 eq { undefinedname } if pop 72 72 144 144 rectfill showpage } for\n", "bad.ps"),
         "could not be rendered (Ghostscript ended with status 1)"},
    };
    for (const auto& [job, words] : cases) {
        fs::remove(world.UserLog());
        const RunResult r = World::Dravik({job});
        EXPECT_EQ(r.status, 255) << job;
        EXPECT_NE(r.err.find(words), std::string::npos) << job << ": " << r.err;
        EXPECT_NE(ReadAll(world.UserLog()).find("The job failed: "), std::string::npos) << job;
    }
    // The two pages before the error were printed, and only they count.
    std::vector<std::string> printed = JobFiles(world);
    ASSERT_EQ(printed.size(), 1u);
    EXPECT_NE(World::Run({"/usr/bin/pdfinfo", (world.root / "printers/Target" / printed[0]).string()})
                  .out.find("Pages:           2"),
              std::string::npos);
}

TEST(JobOutcome, ADocumentThatCannotBeOpenedStopsTheJobAtTheFirstPage)
{
    World world;
    AddPrinters(world);
    world.Install(PrintSettings());
    // The target's job folder cannot be made: no print document opens.
    std::ofstream(world.root / "printers/Target") << "not a folder";
    const RunResult r = World::Dravik({world.Job("1 1 5 { pop 72 72 144 144 rectfill showpage } for\n")});
    // The target did not take the document: it may later.
    EXPECT_EQ(r.status, kExitTryLater);
    EXPECT_NE(r.err.find("could not be printed on the printer Target"), std::string::npos) << r.err;
    const std::string log = ReadAll(world.UserLog());
    // One attempt only: no later page opens a document of its own.
    EXPECT_EQ(log.find("The print document could not be opened"), log.rfind("The print document could not be opened"));
    EXPECT_EQ(log.find("cannot be created"), log.rfind("cannot be created")) << log;
    EXPECT_TRUE(PageFilesLeft(world).empty());
}

TEST(JobOutcome, StopSignalsEndTheJobCleanly)
{
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        World world;
        AddPrinters(world);
        world.Install(PrintSettings(0));
        Background dravik({world.Job(kTwoPagesThenForever)}, world.root / "err.txt");
        // Wait until both pages went into the open print document.
        ASSERT_TRUE(WaitFor([&] { return JobFiles(world).size() == 1; }));
        std::this_thread::sleep_for(1s);
        ASSERT_FALSE(ProcessesMentioning(world.DataDir().string()).empty());
        kill(dravik.Pid(), signal);
        EXPECT_EQ(dravik.Wait(), 255);
        EXPECT_TRUE(ProcessesMentioning(world.DataDir().string()).empty()) << "Ghostscript outlived the job";
        EXPECT_TRUE(JobFiles(world).empty()) << JobFiles(world)[0];  // no partial document left
        EXPECT_TRUE(PageFilesLeft(world).empty());
        EXPECT_NE(ReadAll(world.UserLog()).find("The print job was stopped by SIG"), std::string::npos);
    }
}

TEST(JobOutcome, GhostscriptNeverOutlivesTheJobAndItsDeathFailsTheJob)
{
    World world;
    AddPrinters(world);
    world.Install(PrintSettings(0));
    {
        // A job that never writes: nothing but its parent's end can end it.
        Background dravik({world.Job("{} loop\n")}, world.root / "err.txt");
        ASSERT_TRUE(WaitFor([&] { return !ProcessesMentioning(world.DataDir().string()).empty(); }));
        kill(dravik.Pid(), SIGKILL);
        dravik.Wait();
        const bool ended = WaitFor([&] { return ProcessesMentioning(world.DataDir().string()).empty(); }, 5s);
        EXPECT_TRUE(ended);
        if (!ended)
            for (const pid_t orphan : ProcessesMentioning(world.DataDir().string())) kill(orphan, SIGKILL);
    }
    Background dravik({world.Job(kTwoPagesThenForever)}, world.root / "err.txt");
    ASSERT_TRUE(WaitFor([&] { return !ProcessesMentioning(world.DataDir().string()).empty(); }));
    for (const pid_t gs : ProcessesMentioning(world.DataDir().string())) kill(gs, SIGKILL);
    EXPECT_EQ(dravik.Wait(), 255);
    EXPECT_NE(ReadAll(world.root / "err.txt").find("Ghostscript ended with status 137"), std::string::npos);
}

TEST(JobOutcome, ANeverEndingJobTimesOutAndALaterJobDoesNotWaitForEver)
{
    World world;
    AddPrinters(world);
    world.Install(PrintSettings(6));
    const auto start = std::chrono::steady_clock::now();
    Background first({world.Job("{} loop\n")}, world.root / "first.txt");
    ASSERT_TRUE(WaitFor([&] { return !ProcessesMentioning(world.DataDir().string()).empty(); }));
    // The later job of the same user waits at most its own limit for the data folder.
    world.Install(PrintSettings(1));
    const RunResult second = World::Dravik({world.Job(kTwoPagesThenForever, "second.ps")});
    EXPECT_EQ(second.status, kExitTryLater);
    EXPECT_NE(second.err.find("An earlier print job is still running"), std::string::npos) << second.err;

    EXPECT_EQ(first.Wait(), 255);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 6s);
    EXPECT_NE(ReadAll(world.root / "first.txt").find("no progress for 6 seconds"), std::string::npos);
    EXPECT_NE(ReadAll(world.UserLog()).find("Ghostscript gave no output for 6 seconds"), std::string::npos);
    EXPECT_TRUE(ProcessesMentioning(world.DataDir().string()).empty());
}

// Ghostscript keeps scratch files in the data folder while it writes a PDF
// (here from a job still coming through a pipe); a stopped job takes them along, but a job stopped while it waits for
// an earlier one touches none of that one's files.
TEST(JobOutcome, AStoppedPdfJobLeavesNoScratchCopyAndSparesTheEarlierJobs)
{
    World world;
    AddPrinters(world);
    World::Values settings = PrintSettings(0);
    settings.emplace_back("PrintOutFormat", Sz("PDF"));
    world.Install(settings);
    const fs::path pipe = world.root / "job.pipe";
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    const auto scratchFiles = [&] {
        std::vector<std::string> names;
        if (fs::is_directory(world.DataDir()))
            for (const auto& entry : fs::directory_iterator(world.DataDir()))
                if (entry.path().filename().string().rfind("gs_", 0) == 0) names.push_back(entry.path().string());
        return names;
    };
    // Names like Ghostscript's that it did not make stay.
    fs::create_directories(world.DataDir());
    std::ofstream(world.DataDir() / "gs_notours.txt") << "kept";
    fs::create_symlink(world.root / "job.ps", world.DataDir() / "gs_Link01");

    Background pdfJob({}, world.root / "pdf.txt", pipe);
    const int writer = open(pipe.c_str(), O_WRONLY);
    ASSERT_GE(writer, 0);
    const std::string start = "%PDF-1.4\n%\xe2\xe3\xcf\xd3\n1 0 obj\n<< /Type /Catalog >>\nendobj\n";
    ASSERT_EQ(write(writer, start.data(), start.size()), static_cast<ssize_t>(start.size()));
    ASSERT_TRUE(WaitFor([&] { return scratchFiles().size() > 2; })) << "no scratch copy appeared";
    const std::vector<std::string> running = scratchFiles();

    Background later({world.Job("showpage\n")}, world.root / "later.txt");
    ASSERT_TRUE(
        WaitFor([&] { return ReadAll(world.UserLog()).find("Waiting for an earlier job") != std::string::npos; }));
    kill(later.Pid(), SIGTERM);
    EXPECT_EQ(later.Wait(), 255);
    EXPECT_EQ(scratchFiles(), running) << "the waiting job deleted the running one's files";

    kill(pdfJob.Pid(), SIGTERM);
    EXPECT_EQ(pdfJob.Wait(), 255);
    close(writer);
    std::vector<std::string> left = scratchFiles();
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{(world.DataDir() / "gs_Link01").string(),
                                              (world.DataDir() / "gs_notours.txt").string()}));
}

TEST(JobOutcome, TheCommandLineTakesAnyJobFileAndLogsWhatItIgnores)
{
    World world;
    world.Install({{"ShowDialog", Dword(0)}, {"PrintOutFormat", Sz("PDF")}});
    const std::string job = world.Job("1 1 5 { pop 72 72 144 144 rectfill showpage } for\n", "2024-report.ps");
    const fs::path cwd = fs::current_path();
    fs::current_path(world.root);
    const RunResult r = World::Dravik({"-std", "2024-report.ps", "-bogus", "other.ps"});
    fs::current_path(cwd);  // the world's folder goes with the test
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string log = ReadAll(world.UserLog());
    EXPECT_NE(log.find("Unknown option -bogus on the command line is ignored."), std::string::npos) << log;
    EXPECT_NE(log.find("A second job file on the command line is ignored: other.ps"), std::string::npos);
    // One PDF holding every page.
    EXPECT_NE(
        World::Run({"/usr/bin/pdfinfo", (world.OutputDir() / "Document.pdf").string()}).out.find("Pages:           5"),
        std::string::npos);
}

TEST(JobOutcome, PlantedLinksAndPipesAreRefusedNeverFollowedNorWaitedOn)
{
    World world;
    AddPrinters(world);
    world.Install(PrintSettings());
    fs::create_directories(world.DataDir());
    const fs::path victim = world.root / "victim";
    std::ofstream(victim) << "precious";
    fs::create_symlink(victim, world.DataDir() / "_dk_0001.tm_");
    const std::string job = world.Job("72 72 144 144 rectfill showpage\n");
    RunResult r = World::Dravik({job});
    EXPECT_EQ(r.status, 255) << r.err;
    EXPECT_EQ(ReadAll(victim), "precious");
    EXPECT_TRUE(fs::is_symlink(world.DataDir() / "_dk_0001.tm_"));

    fs::remove(world.DataDir() / "_dk_0001.tm_");
    // The option file is rewritten by every job: a link in its place is not followed either.
    fs::remove(world.DataDir() / "QrxWrite.cfg");
    fs::create_symlink(victim, world.DataDir() / "QrxWrite.cfg");
    r = World::Dravik({job});
    EXPECT_EQ(r.status, 255) << r.err;
    EXPECT_EQ(ReadAll(victim), "precious");

    fs::remove(world.DataDir() / "QrxWrite.cfg");
    ASSERT_EQ(mkfifo((world.DataDir() / "QrxWrite.cfg").c_str(), 0600), 0);
    r = World::Dravik({job});  // used to block for ever on the pipe
    EXPECT_EQ(r.status, 255) << r.err;
    EXPECT_NE(r.err.find("Ghostscript could not be started"), std::string::npos) << r.err;
}

TEST(JobOutcome, AFullDataFolderFailsTheJob)
{
    World world;
    AddPrinters(world);
    world.Install(PrintSettings());
    fs::create_directories(world.DataDir());
    if (mount("tmpfs", world.DataDir().c_str(), "tmpfs", 0, "size=256k,mode=0700") != 0)
        GTEST_SKIP() << "cannot mount a small file system (not root?)";
    const RunResult r = World::Dravik({world.Job("72 72 144 144 rectfill showpage\n")});
    umount2(world.DataDir().c_str(), MNT_DETACH);
    // The log lives on the full disk too: the message box is what tells.
    EXPECT_EQ(r.status, 255) << r.err;
    EXPECT_NE(r.err.find("could not be rendered"), std::string::npos) << r.err;
    EXPECT_TRUE(JobFiles(world).empty());
}

TEST(JobOutcome, APercentSignInTheDataFolderKeepsFileOutputWhole)
{
    World world;
    world.Install({{"ShowDialog", Dword(0)}, {"PrintOutFormat", Sz("PDF")}});
    world.Set("TESSEL_APPDATA", (world.root / "user/100%d").string());
    const RunResult r = World::Dravik({world.Job("1 1 2 { pop 72 72 144 144 rectfill showpage } for\n")});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadAll(world.OutputDir() / "Document.pdf").substr(0, 5), "%PDF-");
}
