#include <vector>

#include "GhostScript.h"
#include "Log.h"
#include "Process.h"
#include "TestJobs.h"

namespace fs = std::filesystem;

namespace {

// What the page callback saw; the callback is a plain function, so it reports here.
struct Seen {
    GhostScript* gs = nullptr;
    std::vector<std::string> names;
    std::vector<std::string> pages;  // the bytes at the moment of the callback
    bool runningAtFirst = false;
    bool killAtFirst = false;
};
Seen gSeen;

// Whether a process is alive and not yet a zombie, from /proc.
bool IsRendering(pid_t pid)
{
    const std::string text = ReadAll("/proc/" + std::to_string(pid) + "/stat");
    const size_t close = text.rfind(')');
    return close != std::string::npos && close + 2 < text.size() && text[close + 2] != 'Z';
}

void RecordPage(const char* path)
{
    const pid_t pid = gSeen.gs->m_pProcess->GetProcessInfo().hProcess;
    if (gSeen.names.empty()) {
        gSeen.runningAtFirst = IsRendering(pid);
        std::string output;
        if (gSeen.killAtFirst) Process::RunForOutput(("kill -KILL " + std::to_string(pid)).c_str(), output);
    }
    gSeen.names.push_back(path);
    gSeen.pages.push_back(ReadAll(path));
}

// A whole BMP page: "BM" and a header length that matches its bytes.
bool IsWholePage(const std::string& page)
{
    if (page.size() < 54 || page.compare(0, 2, "BM") != 0) return false;
    const auto* p = reinterpret_cast<const unsigned char*>(page.data());
    return (uint32_t(p[2]) | uint32_t(p[3]) << 8 | uint32_t(p[4]) << 16 | uint32_t(p[5]) << 24) == page.size();
}

class GhostScriptRun : public ::testing::Test {
protected:
    void SetUp() override { gSeen = Seen(); }

    // Runs the job from a fresh folder of that name,
    // the pages recorded in gSeen or written by Ghostscript itself.
    static std::string RunJob(const std::string& name, const std::string& job, int32_t method = STDOUT)
    {
        const std::string folder = FreshFolder(name);
        WriteWholeFile(folder + "job with blanks.ps", job);
        GhostScript gs(folder.c_str(), "");
        EXPECT_TRUE(gs.GSPath[0]) << "gs not found";
        CopyField(gs.GSInputFile, (folder + "job with blanks.ps").c_str());
        gs.GSOutputMethod = method;
        gSeen.gs = &gs;
        gs.Run(method == STDOUT ? RecordPage : nullptr);
        gSeen.gs = nullptr;
        EXPECT_EQ(gs.m_pProcess, nullptr);
        return folder;
    }
};

}  // namespace

TEST_F(GhostScriptRun, TwentyLetterPagesArriveInOrderWhileGhostscriptRenders)
{
    const std::string folder = RunJob("letter20", LetterJob(20));
    ASSERT_EQ(gSeen.names.size(), 20u);
    EXPECT_TRUE(gSeen.runningAtFirst) << "page 1 must arrive before Ghostscript ends";
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(gSeen.names[i], PagePath(folder, i + 1));
        EXPECT_TRUE(IsWholePage(gSeen.pages[i])) << "page " << i + 1;
    }
}

TEST_F(GhostScriptRun, JobFloodingItsMessagesStillEnds)
{
    RunJob("flood", FloodJob(40000));  // about 3 MB of text
    EXPECT_EQ(gSeen.names.size(), 1u);
    // In FILEOUT runs the same text comes on stdout, which nobody cuts into pages.
    EXPECT_TRUE(fs::exists(PagePath(RunJob("flood-fileout", FloodJob(40000), FILEOUT), 1)));
}

TEST_F(GhostScriptRun, GhostscriptKilledMidJobLeavesOnlyWholePages)
{
    gSeen.killAtFirst = true;
    const std::string folder = RunJob("killed", LetterJob(20));
    ASSERT_GE(gSeen.names.size(), 1u);
    EXPECT_LT(gSeen.names.size(), 20u);
    for (const std::string& page : gSeen.pages) EXPECT_TRUE(IsWholePage(page));
    // A page cut short is removed, not left looking like a page.
    EXPECT_FALSE(fs::exists(PagePath(folder, int(gSeen.names.size()) + 1)));
}

// -dSAFER still lets a job make temporary files; they must land in the data
// folder, whatever temporary folder the caller's environment names. What the
// job prints reaches the trace log.
TEST_F(GhostScriptRun, TheJobsTemporaryFilesStayInTheDataFolder)
{
    const std::string log = FreshFolder("tempfile-log") + "trace.log";
    SetLogFileName(log.c_str());
    gLogLevel = 0;
    const std::string elsewhere = FreshFolder("tempfile-elsewhere");
    setenv("TMPDIR", elsewhere.c_str(), 1);
    const std::string folder =
        RunJob("tempfile", "%!PS\n(scratch_) (w) .tempfile closefile /scratch exch def\n"
                           "(%stderr) (w) file dup (temporary file: ) writestring dup scratch writestring\n"
                           "(\\n) writestring showpage\n");
    unsetenv("TMPDIR");
    gLogLevel = 2;
    SetLogFileName(nullptr);
    const std::string text = ReadAll(log);
    const size_t at = text.find("temporary file: ");
    ASSERT_NE(at, std::string::npos) << text;
    EXPECT_EQ(text.compare(at + 16, folder.size() + 8, folder + "scratch_"), 0) << text.substr(at, 200);
    EXPECT_TRUE(fs::is_empty(elsewhere));
}
