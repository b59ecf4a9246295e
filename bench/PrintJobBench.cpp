// Times the whole road of a 20-page Letter job at 300 dpi: Dravik rendering
// it with Ghostscript, thinning every page and printing it to a local
// 600-dpi printer as one PDF job file, against Ghostscript alone rendering
// the same job to /dev/null. Prints both times (best of several rounds) and
// their ratio. Runs in a private world in one temporary folder: settings and
// installation hives, a "Parsimo" virtual printer and a "Target" printer.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "CommandLine.h"
#include "Process.h"

namespace fs = std::filesystem;

namespace {
constexpr int kPages = 20;
constexpr int kRounds = 5;

double Seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

// Runs a command line with our standard streams; its time in seconds, or -1 when it failed.
double Timed(const std::string& commandLine)
{
    const auto start = std::chrono::steady_clock::now();
    Process child;
    int status = -1;
    if (!child.CreateChildProcess(commandLine.c_str(), true, 2, false) || !child.Wait(&status) || status != 0)
        return -1.0;
    return Seconds(std::chrono::steady_clock::now() - start);
}

void SetUpWorld(const fs::path& world)
{
    for (const char* sub : {"etc", "user", "common", "install", "printers"}) fs::create_directories(world / sub);
    for (const char* printer : {"Parsimo", "Target"})
        fs::copy_file(fs::path(PARSIMO_SOURCE_DIR) / "packaging/printers/Office.ppd",
                      world / "printers" / (std::string(printer) + ".ppd"));
    std::ofstream(world / "etc/machine.reg", std::ios::binary)
        << "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\QMVK\\Parsimo]\r\n\"InstallDir\"=\"" << world.string()
        << "/install/\"\r\n\"ProductVersion\"=\"1.0\"\r\n";
    std::ofstream(world / "etc/user.reg", std::ios::binary)
        << "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\SOFTWARE\\QMVK\\Parsimo]\r\n\"SavingsPercentage\"=dword:0000001e\r\n"
           "\"ShowDialog\"=dword:00000000\r\n\"PrinterName\"=\"Parsimo\"\r\n\"TargetPrinterName\"=\"Target\"\r\n";
    const std::pair<const char*, std::string> variables[] = {
        {"TESSEL_HKCU", (world / "etc/user.reg").string()},
        {"TESSEL_HKLM", (world / "etc/machine.reg").string()},
        {"TESSEL_APPDATA", (world / "user").string()},
        {"TESSEL_COMMON_APPDATA", (world / "common").string()},
        {"TESSEL_COMMON_DOCUMENTS", (world / "common").string()},
        {"TESSEL_PRINTERS", (world / "printers").string()},
        {"TESSEL_MESSAGEBOX", "stderr"},
    };
    for (const auto& [name, value] : variables) setenv(name, value.c_str(), 1);
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
}  // namespace

int main()
{
    std::random_device random;
    const fs::path world = fs::temp_directory_path() / ("parsimo-printjobbench-" + std::to_string(random()));
    fs::remove_all(world);
    SetUpWorld(world);
    const std::string job = (world / "letter20.ps").string();
    std::ofstream(job) << "%!PS\n/Helvetica findfont 24 scalefont setfont\n1 1 " << kPages
                       << " { /n exch def 72 700 moveto (Page ) show n 10 string cvs show\n"
                          "  100 100 200 200 rectfill showpage } for\n";

    const std::string alone = CommandLine::Join(
        {"gs", "-q", "-dNOPAUSE", "-dBATCH", "-sDEVICE=bmp256", "-r300", "-sOutputFile=/dev/null", job});
    const std::string print = CommandLine::Join({DRAVIK_EXE, "-std", job});
    std::vector<double> aloneTimes, printTimes;
    uintmax_t bytes = 0;
    int status = 0;
    for (int round = 0; round < kRounds && status == 0; ++round) {
        aloneTimes.push_back(Timed(alone));
        printTimes.push_back(Timed(print));
        if (aloneTimes.back() < 0 || printTimes.back() < 0) {
            std::fprintf(stderr, "%s failed\n", aloneTimes.back() < 0 ? "gs" : "Dravik");
            status = 1;
        } else if (TakePrintedJobs(world, bytes) != 1) {
            std::fprintf(stderr, "Dravik did not print exactly one job\n");
            status = 1;
        }
    }
    if (status == 0) {
        const double gsAlone = *std::min_element(aloneTimes.begin(), aloneTimes.end());
        const double printed = *std::min_element(printTimes.begin(), printTimes.end());
        std::printf("gs alone to /dev/null: %.3f s\nDravik printing %d pages to a 600-dpi printer: %.3f s "
                    "(%.0f KiB of PDF)\nratio: %.2f (goal <= 1.5)\n",
                    gsAlone, kPages, printed, static_cast<double>(bytes) / 1024.0, printed / gsAlone);
    }
    fs::remove_all(world);
    return status;
}
