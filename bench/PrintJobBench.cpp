// Times the whole road of a 20-page Letter job rendered at 300 dpi: Dravik
// rendering it with Ghostscript, thinning every page and printing it to a
// local printer as one PDF job file, against Ghostscript alone rendering the
// same job to /dev/null in the same round. Three cases: a job with grey and
// colour (dithered, so 8-bit pages) on a 600-dpi printer (every pixel
// doubled) and on a 300-dpi printer, and a black-and-white job (1-bit pages)
// on the 600-dpi printer. Prints the processor time first (user and system,
// Ghostscript included: what a print server pays for every page), then the
// wall time, each with its minimum, its median and the ratios of both.
// Dravik runs Ghostscript with its heap on huge pages; for a fair reading
// the bench also times Ghostscript alone run that way ("gs hp"). Runs in a
// private world in one temporary folder: settings and installation hives, a
// "Parsimo" virtual printer and a "Target" printer.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "BenchWorld.h"
#include "CommandLine.h"
#include "Figures.h"
#include "Process.h"
#include "ProcessCpuPosix.h"

namespace fs = std::filesystem;

namespace {
constexpr int kPages = 20;
constexpr int kRounds = 11;

double Seconds(std::chrono::steady_clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

struct Timing {
    double wall = -1.0;
    double cpu = 0.0;
};

// Runs a command line with our standard streams, its heap on huge pages when
// asked (as Dravik starts Ghostscript); wall time -1 when it failed.
Timing Timed(const std::string& commandLine, bool hugePages = false)
{
    const double cpuBefore = ChildrenCpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    Process child;
    if (hugePages) child.PreferHugePages();
    int status = -1;
    Timing timing;
    if (!child.CreateChildProcess(commandLine.c_str(), true, 2, false) || !child.Wait(&status) || status != 0)
        return timing;
    timing.wall = Seconds(std::chrono::steady_clock::now() - start);
    timing.cpu = ChildrenCpuSeconds() - cpuBefore;
    return timing;
}

// The job files the target printer received; removed once counted.
int TakePrintedJobs(const fs::path& world, uintmax_t& bytes)
{
    int jobs = 0;
    bytes = 0;
    const fs::path folder = world / "printers/Target";
    if (!fs::exists(folder)) return 0;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.path().extension() != ".pdf") continue;
        ++jobs;
        bytes += entry.file_size();
        fs::remove(entry.path());
    }
    return jobs;
}

struct Case {
    const char* name;
    bool colour;
    int targetDpi;
};
}  // namespace

// The minimum and the median of each measure of one program.
struct Readings {
    std::vector<double> wall, cpu;
    uintmax_t bytes = 0;
};

// Each argument is a job processor to time beside the one built with the
// bench (an earlier build, say): all run in the same rounds, one after the
// other, so that the machine's load falls alike on each.
int main(int argc, char** argv)
{
    std::vector<std::string> programs{DRAVIK_EXE};
    for (int i = 1; i < argc; ++i) programs.emplace_back(argv[i]);
    std::random_device random;
    const fs::path world = fs::temp_directory_path() / ("parsimo-printjobbench-" + std::to_string(random()));
    fs::remove_all(world);
    benchworld::SetUpWorld(world);
    benchworld::WriteSettings(world, "\"SavingsPercentage\"=dword:0000001e\r\n");
    const Case cases[] = {{"600 dpi", true, 600}, {"300 dpi", true, 300}, {"B/W 600 dpi", false, 600}};
    std::printf("%-14s %8s %8s %8s %8s %6s %6s | %8s %8s %8s %8s %6s %6s %6s | %8s\n", "case", "gs cpu", "gs cpu",
                "job cpu", "job cpu", "r cpu", "r cpu", "gs wall", "gs wall", "job wall", "job wall", "r", "r", "r hp",
                "PDF KiB");
    std::printf("%-14s %8s %8s %8s %8s %6s %6s | %8s %8s %8s %8s %6s %6s %6s |\n", "", "min", "med", "min", "med",
                "min", "med", "min", "med", "min", "med", "min", "med", "min");
    int status = 0;
    for (const Case& c : cases) {
        benchworld::SetTargetResolution(world, c.targetDpi);
        const std::string job = (world / (c.colour ? "colour20.ps" : "bw20.ps")).string();
        benchworld::WriteJob(job, kPages, c.colour);
        const std::string alone = CommandLine::Join(
            {"gs", "-q", "-dNOPAUSE", "-dBATCH", "-sDEVICE=bmp256", "-r300", "-sOutputFile=/dev/null", job});
        Readings gs, huge;
        std::vector<Readings> jobs(programs.size());
        for (int round = 0; round < kRounds && status == 0; ++round) {
            for (auto& [readings, hugePages] : {std::pair{&gs, false}, {&huge, true}}) {
                const Timing t = Timed(alone, hugePages);
                readings->wall.push_back(t.wall);
                readings->cpu.push_back(t.cpu);
                if (t.wall < 0) status = 1;
            }
            for (size_t p = 0; p < programs.size() && status == 0; ++p) {
                const Timing t = Timed(CommandLine::Join({programs[p], "-std", job}));
                jobs[p].wall.push_back(t.wall);
                jobs[p].cpu.push_back(t.cpu);
                if (t.wall < 0) {
                    std::fprintf(stderr, "%s failed\n", programs[p].c_str());
                    status = 1;
                } else if (TakePrintedJobs(world, jobs[p].bytes) != 1) {
                    std::fprintf(stderr, "%s did not print exactly one job\n", programs[p].c_str());
                    status = 1;
                }
            }
            if (status != 0 && gs.wall.back() < 0) std::fprintf(stderr, "gs failed\n");
        }
        if (status != 0) break;
        for (size_t p = 0; p < programs.size(); ++p) {
            const Readings& r = jobs[p];
            const std::string name = programs.size() > 1 ? std::string(c.name) + " #" + std::to_string(p) : c.name;
            std::printf(
                "%-14s %7.3fs %7.3fs %7.3fs %7.3fs %6.2f %6.2f | %7.3fs %7.3fs %7.3fs %7.3fs %6.2f %6.2f %6.2f | "
                "%8.0f\n",
                name.c_str(), Least(gs.cpu), Median(gs.cpu), Least(r.cpu), Median(r.cpu), Least(r.cpu) / Least(gs.cpu),
                Median(r.cpu) / Median(gs.cpu), Least(gs.wall), Median(gs.wall), Least(r.wall), Median(r.wall),
                Least(r.wall) / Least(gs.wall), Median(r.wall) / Median(gs.wall), Least(r.wall) / Least(huge.wall),
                static_cast<double>(r.bytes) / 1024.0);
        }
        std::fflush(stdout);
    }
    std::printf("%d pages a job, %d rounds. cpu: user + system time, Ghostscript included (goal: r cpu <= 2.0); "
                "wall: r = job / gs alone (goal <= 1.5, stretch 1.3); r hp: job min / min of gs alone with its heap "
                "on huge pages, as Dravik starts it. #0 is %s",
                kPages, kRounds, DRAVIK_EXE);
    for (size_t p = 1; p < programs.size(); ++p) std::printf(", #%zu %s", p, programs[p].c_str());
    std::printf("\n");
    fs::remove_all(world);
    return status;
}
