// How a job ends when something goes wrong: the exit code, the message, the
// log, and what is left behind, through the real program and real Ghostscript.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <thread>

#include "JobExit.h"
#include "Printers.h"

using namespace testworld;
using namespace std::chrono_literals;

namespace {
// Pids of the live Ghostscript processes of the world's jobs (their command
// line names the option file in its data folder).
std::vector<pid_t> GhostscriptsOf(const World& world)
{
    std::vector<pid_t> pids;
    for (const auto& entry : fs::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        if (ReadAll(entry.path() / "cmdline").find(world.DataDir().string()) != std::string::npos &&
            ReadAll(entry.path() / "stat").find(") Z") == std::string::npos)
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

// Dravik started in the background, its standard error into a file; killed if never waited for.
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
        if (m_status < 0) kill(m_pid, SIGKILL), Wait();
    }
    void Signal(int signal) const { kill(m_pid, signal); }
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
const char* kOnePage = "72 72 144 144 rectfill showpage\n";

World& Printing(World& world, uint32_t timeout = 600)
{
    AddPrinters(world);
    world.Install(PrintSettings(30, timeout));
    return world;
}
}  // namespace

// A job that breaks off prints, and counts, only the pages before the fault.
TEST(JobOutcome, AJobThatCannotRunToItsEndFailsWithMessageAndLogLine)
{
    World world;
    Printing(world);
    const std::pair<std::string, std::string> cases[] = {
        {(world.root / "missing.ps").string(), "cannot be read"},
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
    const std::vector<std::string> printed = NamesIn(world.root / "printers/Target");
    ASSERT_EQ(printed.size(), 1u);
    EXPECT_NE(World::Run({"/usr/bin/pdfinfo", (world.root / "printers/Target" / printed[0]).string()})
                  .out.find("Pages:           2"),
              std::string::npos);
}

TEST(JobOutcome, ADocumentThatCannotBeOpenedStopsTheJobAtTheFirstPage)
{
    World world;
    Printing(world);
    std::ofstream(world.root / "printers/Target") << "not a folder";  // no job folder, no document
    const RunResult r = World::Dravik({world.Job("1 1 5 { pop 72 72 144 144 rectfill showpage } for\n")});
    // The target did not take the document: it may later.
    EXPECT_EQ(r.status, kExitTryLater);
    EXPECT_NE(r.err.find("could not be printed on the printer Target"), std::string::npos) << r.err;
    const std::string log = ReadAll(world.UserLog());
    const std::string failed = "The print document could not be opened";
    EXPECT_EQ(log.find(failed), log.rfind(failed)) << "a later page tried again";
    EXPECT_TRUE(NamesIn(world.DataDir(), "_dk_").empty());
}

TEST(JobOutcome, StopSignalsEndTheJobCleanly)
{
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        World world;
        Printing(world, 0);
        Background dravik({world.Job(kTwoPagesThenForever)}, world.root / "err.txt");
        // Both pages went into the open print document.
        ASSERT_TRUE(WaitFor([&] { return NamesIn(world.root / "printers/Target").size() == 1; }));
        std::this_thread::sleep_for(1s);
        ASSERT_FALSE(GhostscriptsOf(world).empty());
        dravik.Signal(signal);
        EXPECT_EQ(dravik.Wait(), 255);
        EXPECT_TRUE(GhostscriptsOf(world).empty()) << "Ghostscript outlived the job";
        EXPECT_TRUE(NamesIn(world.root / "printers/Target").empty()) << "a partial document was left";
        EXPECT_TRUE(NamesIn(world.DataDir(), "_dk_").empty());
    }
}

TEST(JobOutcome, GhostscriptNeverOutlivesTheJobAndItsDeathFailsTheJob)
{
    World world;
    Printing(world, 0);
    {
        // A job that never writes: nothing but its parent's end can end it.
        Background dravik({world.Job("{} loop\n")}, world.root / "err.txt");
        ASSERT_TRUE(WaitFor([&] { return !GhostscriptsOf(world).empty(); }));
        dravik.Signal(SIGKILL);
        dravik.Wait();
        const bool ended = WaitFor([&] { return GhostscriptsOf(world).empty(); }, 5s);
        EXPECT_TRUE(ended);
        for (const pid_t orphan : GhostscriptsOf(world)) kill(orphan, SIGKILL);
    }
    Background dravik({world.Job(kTwoPagesThenForever)}, world.root / "err.txt");
    ASSERT_TRUE(WaitFor([&] { return !GhostscriptsOf(world).empty(); }));
    for (const pid_t gs : GhostscriptsOf(world)) kill(gs, SIGKILL);
    EXPECT_EQ(dravik.Wait(), 255);
    EXPECT_NE(ReadAll(world.root / "err.txt").find("Ghostscript ended with status 137"), std::string::npos);
}

TEST(JobOutcome, ANeverEndingJobTimesOutAndALaterJobDoesNotWaitForEver)
{
    World world;
    Printing(world, 6);
    const auto start = std::chrono::steady_clock::now();
    Background first({world.Job("{} loop\n")}, world.root / "first.txt");
    ASSERT_TRUE(WaitFor([&] { return !GhostscriptsOf(world).empty(); }));
    // The later job of the same user waits at most its own limit for the data folder.
    world.Install(PrintSettings(30, 1));
    const RunResult second = World::Dravik({world.Job(kTwoPagesThenForever, "second.ps")});
    EXPECT_EQ(second.status, kExitTryLater);
    EXPECT_NE(second.err.find("An earlier print job is still running"), std::string::npos) << second.err;

    EXPECT_EQ(first.Wait(), 255);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 6s);
    EXPECT_NE(ReadAll(world.root / "first.txt").find("no progress for 6 seconds"), std::string::npos);
    EXPECT_TRUE(GhostscriptsOf(world).empty());
}

// Ghostscript keeps scratch files in the data folder while it writes a PDF
// (here from a job still coming through a pipe); a stopped job takes them
// along, but a job stopped while it waits for an earlier one touches none of
// that one's files, and names like Ghostscript's that it did not make stay.
TEST(JobOutcome, AStoppedPdfJobLeavesNoScratchCopyAndSparesTheEarlierJobs)
{
    World world;
    World::Values settings = PrintSettings(30, 0);
    settings.emplace_back("PrintOutFormat", Sz("PDF"));
    world.Install(settings);
    const fs::path pipe = world.root / "job.pipe";
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    fs::create_directories(world.DataDir());
    std::ofstream(world.DataDir() / "gs_notours.txt") << "kept";
    fs::create_symlink(world.root / "job.ps", world.DataDir() / "gs_Link01");

    Background pdfJob({}, world.root / "pdf.txt", pipe);
    const int writer = open(pipe.c_str(), O_WRONLY);
    ASSERT_GE(writer, 0);
    const std::string start = "%PDF-1.4\n%\xe2\xe3\xcf\xd3\n1 0 obj\n<< /Type /Catalog >>\nendobj\n";
    ASSERT_EQ(write(writer, start.data(), start.size()), static_cast<ssize_t>(start.size()));
    ASSERT_TRUE(WaitFor([&] { return NamesIn(world.DataDir(), "gs_").size() > 2; })) << "no scratch copy appeared";
    const std::vector<std::string> running = NamesIn(world.DataDir(), "gs_");

    Background later({world.Job("showpage\n")}, world.root / "later.txt");
    ASSERT_TRUE(
        WaitFor([&] { return ReadAll(world.UserLog()).find("Waiting for an earlier job") != std::string::npos; }));
    later.Signal(SIGTERM);
    EXPECT_EQ(later.Wait(), 255);
    EXPECT_EQ(NamesIn(world.DataDir(), "gs_"), running) << "the waiting job deleted the running one's files";

    pdfJob.Signal(SIGTERM);
    EXPECT_EQ(pdfJob.Wait(), 255);
    close(writer);
    EXPECT_EQ(NamesIn(world.DataDir(), "gs_"), (std::vector<std::string>{"gs_Link01", "gs_notours.txt"}));
}

// A link planted at a page file's or the option file's name is never written
// through; a pipe there is never waited on (it used to block for ever).
TEST(JobOutcome, PlantedLinksAndPipesAreRefusedNeverFollowedNorWaitedOn)
{
    World world;
    Printing(world);
    fs::create_directories(world.DataDir());
    const fs::path victim = world.root / "victim";
    std::ofstream(victim) << "precious";
    const std::string job = world.Job(kOnePage);
    const std::pair<const char*, bool> plants[] = {
        {"_dk_0001.tm_", false}, {"QrxWrite.cfg", false}, {"QrxWrite.cfg", true}};
    for (const auto& [name, pipe] : plants) {
        const fs::path planted = world.DataDir() / name;
        fs::remove(planted);
        if (pipe)
            ASSERT_EQ(mkfifo(planted.c_str(), 0600), 0);
        else
            fs::create_symlink(victim, planted);
        const RunResult r = World::Dravik({job});
        EXPECT_EQ(r.status, 255) << name << ": " << r.err;
        EXPECT_EQ(ReadAll(victim), "precious") << name;
        fs::remove(planted);
    }
}

TEST(JobOutcome, AFullDataFolderFailsTheJob)
{
    World world;
    Printing(world);
    fs::create_directories(world.DataDir());
    if (mount("tmpfs", world.DataDir().c_str(), "tmpfs", 0, "size=256k,mode=0700") != 0)
        GTEST_SKIP() << "cannot mount a small file system (not root?)";
    const RunResult r = World::Dravik({world.Job(kOnePage)});
    umount2(world.DataDir().c_str(), MNT_DETACH);
    // The log lives on the full disk too: the message box is what tells.
    EXPECT_EQ(r.status, 255) << r.err;
    EXPECT_NE(r.err.find("could not be rendered"), std::string::npos) << r.err;
    EXPECT_TRUE(NamesIn(world.root / "printers/Target").empty());
}
