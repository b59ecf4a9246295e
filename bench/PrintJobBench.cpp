// Times the whole road of a 20-page Letter job rendered at 300 dpi: Dravik
// rendering it with Ghostscript, thinning every page and printing it to a
// local printer as one PDF job file, against Ghostscript alone rendering the
// same job to /dev/null in the same round. Three cases: a job with grey and
// colour (dithered, so 8-bit pages) on a 600-dpi printer (every pixel
// doubled) and on a 300-dpi printer, and a black-and-white job (1-bit pages)
// on the 600-dpi printer. Prints the minimum and the median of each time and
// their ratios. Dravik runs Ghostscript with its heap on huge pages; for a
// fair reading the bench also times Ghostscript alone run that way ("gs hp").
// Runs in a private world in one temporary folder: settings
// and installation hives, a "Parsimo" virtual printer and a "Target" printer.
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
#include "Process.h"

namespace fs = std::filesystem;

namespace {
constexpr int kPages = 20;
constexpr int kRounds = 7;

double Seconds(std::chrono::steady_clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

// Processor time of the waited-for children so far (user and system), in
// seconds: /proc counts it in ticks of 1/100 s. On a busy machine it is the
// steadier measure.
double ChildrenCpu()
{
    std::ifstream stat("/proc/self/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    double ticks = 0;
    // Fields 16 and 17 (cutime, cstime), counted from the state, field 3.
    for (int number = 3; number <= 17 && fields >> field; ++number)
        if (number >= 16) ticks += std::atof(field.c_str());
    return ticks / 100.0;
}

struct Timing {
    double wall = -1.0;
    double cpu = 0.0;
};

// Runs a command line with our standard streams, its heap on huge pages when
// asked (as Dravik starts Ghostscript); wall time -1 when it failed.
Timing Timed(const std::string& commandLine, bool hugePages = false)
{
    const double cpuBefore = ChildrenCpu();
    const auto start = std::chrono::steady_clock::now();
    Process child;
    if (hugePages) child.PreferHugePages();
    int status = -1;
    Timing timing;
    if (!child.CreateChildProcess(commandLine.c_str(), true, 2, false) || !child.Wait(&status) || status != 0)
        return timing;
    timing.wall = Seconds(std::chrono::steady_clock::now() - start);
    timing.cpu = ChildrenCpu() - cpuBefore;
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

// Each page: a title, text, a filled box; the colour job adds grey and
// coloured areas, which the 256-colour device dithers.
void WriteJob(const std::string& path, bool colour)
{
    std::ofstream job(path);
    job << "%!PS\n/Helvetica findfont 24 scalefont setfont\n1 1 " << kPages
        << " { /n exch def 72 700 moveto (Page ) show n 10 string cvs show\n"
           "  /Helvetica findfont 11 scalefont setfont\n"
           "  0 1 30 { /l exch def 72 660 l 14 mul sub moveto\n"
           "    (The quick brown fox jumps over the lazy dog, again and again and again.) show } for\n"
           "  /Helvetica findfont 24 scalefont setfont\n"
           "  100 100 200 120 rectfill\n";
    if (colour)
        job << "  0.5 setgray 320 100 200 120 rectfill 0.8 0.1 0.1 setrgbcolor 72 230 moveto (Colour) show\n"
               "  0.2 0.4 0.8 setrgbcolor 320 230 150 60 rectfill 0 setgray\n";
    job << "  showpage } for\n";
}

double Median(std::vector<double> times)
{
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

struct Case {
    const char* name;
    bool colour;
    int targetDpi;
};
}  // namespace

int main()
{
    std::random_device random;
    const fs::path world = fs::temp_directory_path() / ("parsimo-printjobbench-" + std::to_string(random()));
    fs::remove_all(world);
    benchworld::SetUpWorld(world);
    benchworld::WriteSettings(world, "\"SavingsPercentage\"=dword:0000001e\r\n");
    const Case cases[] = {{"600 dpi", true, 600}, {"300 dpi", true, 300}, {"B/W 600 dpi", false, 600}};
    std::printf("%-12s %8s %8s %8s %8s %8s %6s %6s %6s %8s %8s %6s %8s\n", "case", "gs min", "gs med", "gs hp",
                "job min", "job med", "r min", "r med", "r hp", "gs cpu", "job cpu", "r cpu", "PDF KiB");
    int status = 0;
    for (const Case& c : cases) {
        benchworld::SetTargetResolution(world, c.targetDpi);
        const std::string job = (world / (c.colour ? "colour20.ps" : "bw20.ps")).string();
        WriteJob(job, c.colour);
        const std::string alone = CommandLine::Join(
            {"gs", "-q", "-dNOPAUSE", "-dBATCH", "-sDEVICE=bmp256", "-r300", "-sOutputFile=/dev/null", job});
        const std::string print = CommandLine::Join({DRAVIK_EXE, "-std", job});
        std::vector<double> aloneTimes, hugeTimes, printTimes, aloneCpu, printCpu;
        uintmax_t bytes = 0;
        for (int round = 0; round < kRounds && status == 0; ++round) {
            const Timing gs = Timed(alone), huge = Timed(alone, true), printed = Timed(print);
            aloneTimes.push_back(gs.wall);
            hugeTimes.push_back(huge.wall);
            printTimes.push_back(printed.wall);
            aloneCpu.push_back(gs.cpu);
            printCpu.push_back(printed.cpu);
            if (aloneTimes.back() < 0 || hugeTimes.back() < 0 || printTimes.back() < 0) {
                std::fprintf(stderr, "%s failed\n", printTimes.back() < 0 ? "Dravik" : "gs");
                status = 1;
            } else if (TakePrintedJobs(world, bytes) != 1) {
                std::fprintf(stderr, "Dravik did not print exactly one job\n");
                status = 1;
            }
        }
        if (status != 0) break;
        const double gsMin = *std::min_element(aloneTimes.begin(), aloneTimes.end());
        const double hugeMin = *std::min_element(hugeTimes.begin(), hugeTimes.end());
        const double jobMin = *std::min_element(printTimes.begin(), printTimes.end());
        const double gsMed = Median(aloneTimes), jobMed = Median(printTimes);
        const double gsCpu = Median(aloneCpu), jobCpu = Median(printCpu);
        std::printf("%-12s %7.3fs %7.3fs %7.3fs %7.3fs %7.3fs %6.2f %6.2f %6.2f %7.2fs %7.2fs %6.2f %8.0f\n", c.name,
                    gsMin, gsMed, hugeMin, jobMin, jobMed, jobMin / gsMin, jobMed / gsMed, jobMin / hugeMin, gsCpu,
                    jobCpu, jobCpu / gsCpu, static_cast<double>(bytes) / 1024.0);
        std::fflush(stdout);
    }
    std::printf("%d pages a job, %d rounds; r: job / gs alone (goal <= 1.5, stretch 1.3); r hp: job min / gs hp "
                "min; cpu: medians of user + system time, Ghostscript included\n",
                kPages, kRounds);
    fs::remove_all(world);
    return status;
}
