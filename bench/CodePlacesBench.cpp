// The search for code places (CodeCandidates::Find) on pages as a job's
// Ghostscript renders them: 256-colour pages of text and a black box, the
// colour ones with a grey and a blue box that the device dithers, at 300 and
// 600 dpi. The pages are many more than the cache holds, read in turn, so
// that each comes from memory as a job's page does. The time is per page.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "Bitmap.h"
#include "CodeCandidates.h"
#include "CommandLine.h"
#include "Dib.h"
#include "Process.h"

namespace fs = std::filesystem;

namespace {

struct Page {
    std::unique_ptr<DibSectionObject, DibDeleter> dib;
    std::array<uint8_t, 256> grey{};
    PageView view{};
};

struct Job {
    bool colour;
    int dpi, pages;
};

// The job's pages, rendered once; none when gs fails.
std::vector<Page> Render(const Job& job)
{
    std::random_device random;
    const fs::path folder = fs::temp_directory_path() / ("parsimo-codeplacesbench-" + std::to_string(random()));
    fs::create_directories(folder);
    std::ofstream(folder / "job.ps")
        << "%!PS\n1 1 " << job.pages
        << " { pop /Helvetica findfont 10 scalefont setfont\n"
           "  0 1 40 { 15 mul 700 exch sub 60 exch moveto\n"
           "    (Invoice 0412: three toner cartridges and a drum unit, delivered on the second.) show } for\n"
           "  72 80 220 100 rectfill\n"
        << (job.colour ? "  0.5 setgray 320 80 200 100 rectfill 0.2 0.4 0.8 setrgbcolor 320 190 150 50 rectfill\n" : "")
        << "  showpage } for\n";
    const std::string commandLine =
        CommandLine::Join({"gs", "-q", "-dNOPAUSE", "-dBATCH", "-sDEVICE=bmp256", "-r" + std::to_string(job.dpi),
                           "-sOutputFile=" + (folder / "p%02d.bmp").string(), (folder / "job.ps").string()});
    Process gs;
    int status = -1;
    std::vector<Page> pages;
    if (gs.CreateChildProcess(commandLine.c_str(), true, 2, false) && gs.Wait(&status) && status == 0)
        for (int i = 1; i <= job.pages; ++i) {
            char name[16];
            std::snprintf(name, sizeof name, "p%02d.bmp", i);
            Page& page = pages.emplace_back();
            page.dib.reset(LoadBitmapFile((folder / name).c_str()));
            if (!page.dib) {
                pages.clear();
                break;
            }
            // Brightness as the filter gives it.
            for (uint32_t v = 0; v < 256; ++v)
                page.grey[v] = static_cast<uint8_t>(v < page.dib->colorCount ? Brightness(page.dib->colors[v]) / 3 : v);
            const BITMAP& bm = page.dib->ds.dsBm;
            page.view = {static_cast<uint8_t*>(bm.bmBits), bm.bmWidth,      bm.bmHeight, bm.bmWidthBytes, 1,
                         page.dib->ds.dsBmih.biHeight > 0, page.grey.data()};
        }
    fs::remove_all(folder);
    return pages;
}

// Arguments: colour (0 or 1), resolution, pages.
void BM_Find(benchmark::State& state)
{
    const Job job{state.range(0) != 0, static_cast<int>(state.range(1)), static_cast<int>(state.range(2))};
    const std::vector<Page> pages = Render(job);
    if (pages.empty()) return state.SkipWithError("no pages from gs");
    size_t next = 0;
    for (auto _ : state) {
        const Page& page = pages[next++ % pages.size()];
        std::vector<CodeCandidates::Area> areas = CodeCandidates::Find(page.view, job.dpi);
        benchmark::DoNotOptimize(areas);
    }
    state.SetLabel(std::string(job.colour ? "colour" : "black and white") + ", " + std::to_string(job.dpi) + " dpi");
}

}  // namespace

BENCHMARK(BM_Find)->Args({1, 300, 16})->Args({0, 300, 16})->Args({1, 600, 4})->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
