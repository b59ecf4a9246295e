// How long one page takes from StretchDIBits to the PDF job file, and how
// much memory a page needs: a 300-dpi Letter page of 2550 x 3300 8-bit
// pixels, thinned to a keep/drop pattern, on 300- and 600-dpi printers.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "Dib.h"
#include "Printer.h"

namespace {
const char* const kPpd = "*DefaultPageSize: Letter\n*PaperDimension Letter: \"612 792\"\n"
                         "*DefaultResolution: 300dpi\n*Resolution 300dpi: \"\"\n*Resolution 600dpi: \"\"\n";

// Peak resident memory of the process so far, in MiB.
double PeakMiB()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0) return std::atof(line.c_str() + 6) / 1024.0;
    return 0.0;
}

void PrintLetterPage(benchmark::State& state)
{
    std::random_device random;
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("parsimo-bench-" + std::to_string(random()));
    std::filesystem::create_directories(folder);
    std::ofstream(folder / "Bench.ppd") << kPpd;
    setenv("TESSEL_PRINTERS", folder.c_str(), 1);

    const int width = 2550, height = 3300;
    std::vector<uint8_t> block(sizeof(BITMAPINFOHEADER) + 2 * sizeof(RGBQUAD));
    BITMAPINFOHEADER header{40, width, height, 1, 8, BI_RGB, 0, 0, 0, 2, 0};
    const RGBQUAD table[2] = {{0, 0, 0, 0}, {255, 255, 255, 0}};
    memcpy(block.data(), &header, sizeof header);
    memcpy(block.data() + sizeof header, table, sizeof table);
    const int64_t stride = DibStride(width, 8);
    std::vector<uint8_t> bits(static_cast<size_t>(stride * height));
    // Text-like page: ink in the top two thirds, thinned by a 1-in-3 drop pattern.
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            bits[static_cast<size_t>(y * stride + x)] =
                (y > height / 3 && (x / 40 + y / 60) % 2 && (x + y) % 3) ? 0 : 1;

    Printer printer("Bench");
    printer.SetDevMode(1, 1, 0, 0, static_cast<int16_t>(state.range(0)), 1);
    HDC hdc = printer.GetDC();
    const int caps = GetDeviceCaps(hdc, HORZRES);
    const DOCINFOA doc{20, "bench", nullptr, nullptr, 0};
    StartDocA(hdc, &doc);
    for (auto _ : state) {
        StartPage(hdc);
        StretchDIBits(hdc, 0, 0, caps, GetDeviceCaps(hdc, VERTRES), 0, 0, width, height, bits.data(),
                      reinterpret_cast<const BITMAPINFOHEADER*>(block.data()), DIB_RGB_COLORS, SRCCOPY);
        EndPage(hdc);
    }
    EndDoc(hdc);
    uintmax_t bytes = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
        if (entry.is_regular_file() && entry.path().extension() == ".pdf") bytes += entry.file_size();
    state.counters["pdf_KiB_per_page"] = static_cast<double>(bytes) / 1024.0 / static_cast<double>(state.iterations());
    state.counters["peak_MiB"] = PeakMiB();
    std::filesystem::remove_all(folder);
}
}  // namespace

BENCHMARK(PrintLetterPage)->Arg(300)->Arg(600)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK_MAIN();
