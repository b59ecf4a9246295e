// Times a STDOUT run of a 20-page Letter job at 300 dpi, pages cut into files
// and handed to a callback that drops them, against Ghostscript alone writing
// the same page stream to /dev/null. Prints both times and their ratio, and,
// since the pages must reach files anyway, the ratio to Ghostscript writing
// the whole stream into one file itself.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "CommandLine.h"
#include "File.h"
#include "GhostScript.h"
#include "Process.h"

namespace fs = std::filesystem;

namespace {
constexpr int kPages = 20;
constexpr int kRounds = 3;
int gPages = 0;

void DropPage(const char* path)
{
    ++gPages;
    DeleteFile(path);
}

double Seconds(std::chrono::steady_clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}
}  // namespace

int main()
{
    const fs::path folder = fs::temp_directory_path() / "parsimo-renderbench";
    fs::remove_all(folder);
    fs::create_directories(folder);
    const std::string dataDir = folder.string() + "/";
    const std::string job = dataDir + "letter20.ps";
    std::ofstream(job) << "%!PS\n/Helvetica findfont 24 scalefont setfont\n1 1 " << kPages
                       << " { /n exch def 72 700 moveto (Page ) show n 10 string cvs show\n"
                          "  100 100 200 200 rectfill showpage } for\n";

    GhostScript gs(dataDir.c_str(), "");
    if (!gs.GSPath[0]) {
        std::fprintf(stderr, "gs not found\n");
        return 1;
    }
    CopyField(gs.GSInputFile, job.c_str());
    TextBuffer unused;
    if (!gs.WriteOptionFile(dataDir.c_str(), unused)) return 1;
    const std::string alone =
        CommandLine::Join({std::string(gs.GSPath) + gs.GSExecutable, "@" + dataDir + "QrxWrite.cfg",
                           "-sOutputFile=/dev/null", "-q", "-f", job});
    const std::string toFile =
        CommandLine::Join({std::string(gs.GSPath) + gs.GSExecutable, "@" + dataDir + "QrxWrite.cfg",
                           "-sOutputFile=" + dataDir + "stream.bin", "-q", "-f", job});

    auto timeAlone = [](const std::string& commandLine) {
        const auto start = std::chrono::steady_clock::now();
        Process child;
        if (!child.CreateChildProcess(commandLine.c_str(), true, 2, false) || !child.Wait()) return -1.0;
        return Seconds(std::chrono::steady_clock::now() - start);
    };
    std::vector<double> runTimes, aloneTimes, fileTimes;
    for (int round = 0; round < kRounds; ++round) {
        aloneTimes.push_back(timeAlone(alone));
        fileTimes.push_back(timeAlone(toFile));
        fs::remove(dataDir + "stream.bin");
        if (aloneTimes.back() < 0 || fileTimes.back() < 0) return 1;

        gPages = 0;
        const auto start = std::chrono::steady_clock::now();
        gs.Run(DropPage);
        runTimes.push_back(Seconds(std::chrono::steady_clock::now() - start));
        if (gPages != kPages) {
            std::fprintf(stderr, "Run delivered %d pages, expected %d\n", gPages, kPages);
            return 1;
        }
    }
    const double run = *std::min_element(runTimes.begin(), runTimes.end());
    const double gsAlone = *std::min_element(aloneTimes.begin(), aloneTimes.end());
    const double gsFile = *std::min_element(fileTimes.begin(), fileTimes.end());
    std::printf("gs alone to /dev/null: %.3f s\ngs alone to one file: %.3f s\nRun with %d pages delivered: %.3f s\n"
                "ratio to /dev/null: %.3f (goal <= 1.15)\nratio to one file: %.3f\n",
                gsAlone, gsFile, kPages, run, run / gsAlone, run / gsFile);
    fs::remove_all(folder);
    return 0;
}
