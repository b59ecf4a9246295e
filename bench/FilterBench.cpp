// The toner-saving filter against memcpy of the same 8-bit page, per size,
// level, statistics and protected regions; and the two styles of saving with
// and without the search for codes.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "AppEnvironment.h"
#include "BitmapProcessing.h"
#include "Log.h"

namespace {

std::unique_ptr<DibSectionObject, DibDeleter> MakePage(int32_t width, int32_t height)
{
    RGBQUAD colors[256];
    for (int i = 0; i < 256; ++i) colors[i] = RGBQUAD{uint8_t(i), uint8_t(i), uint8_t(255 - i), 0};
    std::unique_ptr<DibSectionObject, DibDeleter> page(
        CreateDibSection(width, height, 8, BI_RGB, colors, 256, nullptr));
    // Mostly white paper with text-like dark runs.
    auto* bits = static_cast<uint8_t*>(page->ds.dsBm.bmBits);
    for (size_t i = 0; i < page->imageBytes; ++i) bits[i] = (i / 7) % 9 == 0 ? static_cast<uint8_t>(i % 64) : 255;
    return page;
}

// Arguments: width, height, percentage, statistics, regions (0 or 9).
void BM_Filter(benchmark::State& state)
{
    auto page = MakePage(static_cast<int32_t>(state.range(0)), static_cast<int32_t>(state.range(1)));
    AppEnvironment env{AppEnvironment::DefaultsOnly{}};
    env.SavingsPercentage = static_cast<int32_t>(state.range(2));
    env.AdvUsageStat = static_cast<int32_t>(state.range(3));
    env.ProtectCodes = 0;  // BM_Styles times the search for codes
    const int32_t micr = state.range(4) > 0 ? 1 : 0;
    // The test locator (Dravik/kzt/ of the build folder, or the folder named by
    // PARSIMO_BENCH_LOCATOR_DIR) answers nine bands when asked at "9 dpi".
    const char* named = std::getenv("PARSIMO_BENCH_LOCATOR_DIR");
    const std::string dir = named != nullptr ? std::string(named) + "/" : std::string("Dravik/kzt/");
    if (micr && !std::filesystem::exists(dir + "libKZTLite.so")) {
        state.SkipWithError("no test locator: run from the build folder or set PARSIMO_BENCH_LOCATOR_DIR");
        return;
    }
    std::strncpy(env.InstallDir, dir.c_str(), kMaxPath);
    gLogLevel = 3;
    for (auto _ : state) {
        UsageDetails* record = ProcessBitmap(page.get(), &env, micr ? 9 : 300, micr);
        benchmark::DoNotOptimize(record);
        std::free(record);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(page->imageBytes));
}

// Arguments: width, height, style, codes; 75 %, statistics on.
void BM_Styles(benchmark::State& state)
{
    auto page = MakePage(static_cast<int32_t>(state.range(0)), static_cast<int32_t>(state.range(1)));
    AppEnvironment env{AppEnvironment::DefaultsOnly{}};
    env.SavingsPercentage = 75;
    env.AdvUsageStat = 1;
    env.SavingsStyle = static_cast<int32_t>(state.range(2));
    env.ProtectCodes = static_cast<int32_t>(state.range(3));
    gLogLevel = 3;
    const int32_t resolution = state.range(0) > 3000 ? 600 : 300;
    for (auto _ : state) {
        UsageDetails* record = ProcessBitmap(page.get(), &env, resolution, 0);
        benchmark::DoNotOptimize(record);
        std::free(record);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(page->imageBytes));
}

void BM_Memcpy(benchmark::State& state)
{
    auto page = MakePage(static_cast<int32_t>(state.range(0)), static_cast<int32_t>(state.range(1)));
    std::vector<uint8_t> copy(page->imageBytes);
    for (auto _ : state) {
        std::memcpy(copy.data(), page->ds.dsBm.bmBits, page->imageBytes);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(page->imageBytes));
}

void Sizes(benchmark::internal::Benchmark* b, bool filter)
{
    for (const auto& size : {std::pair{2550, 3300}, std::pair{5100, 6600}}) {
        if (!filter) {
            b->Args({size.first, size.second});
            continue;
        }
        for (int percentage : {5, 50, 75})
            for (int stats : {0, 1})
                for (int regions : {0, 9}) b->Args({size.first, size.second, percentage, stats, regions});
    }
}

}  // namespace

BENCHMARK(BM_Memcpy)->Apply([](benchmark::internal::Benchmark* b) { Sizes(b, false); })->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Filter)->Apply([](benchmark::internal::Benchmark* b) { Sizes(b, true); })->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Styles)
    ->Apply([](benchmark::internal::Benchmark* b) {
        for (const auto& size : {std::pair{2550, 3300}, std::pair{5100, 6600}})
            for (int style : {0, 1})
                for (int codes : {0, 1}) b->Args({size.first, size.second, style, codes});
    })
    ->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
