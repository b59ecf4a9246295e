// The road every printed page takes before Dravik works on it, against
// Ghostscript alone: the 20-page colour job PrintJobBench prints, rendered at
// 300 dpi, its page stream cut into page files by a STDOUT run, each page
// then loaded into a reused page block and deleted, as the page handler does,
// but nothing thinned, searched or printed. The least a printed job costs
// with page files between Ghostscript and the handler. Also Ghostscript
// alone writing the whole stream into one file, and a run whose pages are
// only deleted. Processor time first (user and system, Ghostscript and all
// of this process's threads), then wall time, minimum and median of each,
// all in the same rounds.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "BenchWorld.h"
#include "CommandLine.h"
#include "Dib.h"
#include "Figures.h"
#include "File.h"
#include "GhostScript.h"
#include "Process.h"
#include "ProcessCpuPosix.h"

namespace fs = std::filesystem;

namespace {
constexpr int kPages = 20;
constexpr int kRounds = 11;
int gPages = 0;
HBITMAP gBlock = nullptr;  // the page block, reused page after page

void DropPage(const char* path)
{
    ++gPages;
    DeleteFile(path);
}

void LoadPage(const char* path)
{
    gBlock = LoadBitmapFile(path, gBlock);
    if (gBlock) ++gPages;
    DeleteFile(path);
}

struct Timing {
    std::vector<double> cpu, wall;
};

// Times `work`, which returns false when it failed.
template <typename Work>
bool Time(Timing& timing, Work work)
{
    const double cpuBefore = OwnCpuSeconds() + ChildrenCpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    if (!work()) return false;
    timing.wall.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    timing.cpu.push_back(OwnCpuSeconds() + ChildrenCpuSeconds() - cpuBefore);
    return true;
}
}  // namespace

int main()
{
    const fs::path folder = fs::temp_directory_path() / "parsimo-renderbench";
    fs::remove_all(folder);
    fs::create_directories(folder);
    const std::string dataDir = folder.string() + "/";
    const std::string job = dataDir + "colour20.ps";
    benchworld::WriteJob(job, kPages, true);

    GhostScript gs(dataDir.c_str(), "");
    if (!gs.GSPath[0]) {
        std::fprintf(stderr, "gs not found\n");
        return 1;
    }
    CopyField(gs.GSInputFile, job.c_str());
    TextBuffer unused;
    if (!gs.WriteOptionFile(dataDir.c_str(), unused)) return 1;
    const auto gsTo = [&](const std::string& output) {
        return CommandLine::Join({std::string(gs.GSPath) + gs.GSExecutable, "@" + dataDir + "QrxWrite.cfg",
                                  "-sOutputFile=" + output, "-q", "-f", job});
    };
    const auto alone = [](const std::string& commandLine) {
        Process child;
        int status = -1;
        return child.CreateChildProcess(commandLine.c_str(), true, 2, false) && child.Wait(&status) && status == 0;
    };
    const auto run = [&](PageCallback callback) {
        gPages = 0;
        return gs.Run(callback).streamWhole && gPages == kPages;
    };

    struct Case {
        const char* name;
        Timing timing;
    } cases[] = {{"gs alone, to /dev/null", {}},
                 {"gs alone, to one file", {}},
                 {"pages to page files", {}},
                 {"pages to page files, loaded", {}}};
    for (int round = 0; round < kRounds; ++round) {
        const bool ok = Time(cases[0].timing, [&] { return alone(gsTo("/dev/null")); }) &&
                        Time(cases[1].timing, [&] { return alone(gsTo(dataDir + "stream.bin")); }) &&
                        Time(cases[2].timing, [&] { return run(DropPage); }) &&
                        Time(cases[3].timing, [&] { return run(LoadPage); });
        fs::remove(dataDir + "stream.bin");
        if (!ok) {
            std::fprintf(stderr, "a run failed in round %d\n", round);
            return 1;
        }
    }
    const Timing& base = cases[0].timing;
    std::printf("%-28s %8s %8s %6s %6s | %8s %8s %6s %6s\n", "case", "cpu min", "cpu med", "r min", "r med", "wall min",
                "wall med", "r min", "r med");
    for (const Case& c : cases) {
        const Timing& t = c.timing;
        std::printf("%-28s %7.3fs %7.3fs %6.2f %6.2f | %7.3fs %7.3fs %6.2f %6.2f\n", c.name, Least(t.cpu),
                    Median(t.cpu), Least(t.cpu) / Least(base.cpu), Median(t.cpu) / Median(base.cpu), Least(t.wall),
                    Median(t.wall), Least(t.wall) / Least(base.wall), Median(t.wall) / Median(base.wall));
    }
    std::printf("%d pages a job, %d rounds; r = against Ghostscript alone to /dev/null. cpu: user + system time of "
                "Ghostscript and of this process's threads.\n",
                kPages, kRounds);
    DeleteObject(gBlock);
    fs::remove_all(folder);
    return 0;
}
