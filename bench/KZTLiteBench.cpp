// The MICR locator on whole pages: three cheques on Letter, per resolution
// and depth, and a page of stubs with no code line (the full search).
#include <benchmark/benchmark.h>

#include "ChequePage.h"
#include "KZTLite.h"

namespace {

// Arguments: resolution, bits per pixel, cheques on the page (0: stubs only).
void BM_Locate(benchmark::State& state)
{
    const auto dpi = static_cast<int32_t>(state.range(0));
    ChequePage sheet(8.5, 11);
    for (int i = 0; i < 3; ++i) {
        if (state.range(2) > 0)
            sheet.Cheque(0, 0.25 + 3.5 * i, 8.5, 3.5);
        else
            sheet.Voucher(0, 0.25 + 3.5 * i, 8.5, 3.5);
    }
    const Dib page = sheet.Render(dpi, static_cast<uint16_t>(state.range(1)), false);
    for (auto _ : state) {
        char* answer = nullptr;
        benchmark::DoNotOptimize(KZTGetMicrLineRegions(page.get(), dpi, 0, &answer));
        KZTFreeMem(&answer);
    }
}

}  // namespace

BENCHMARK(BM_Locate)
    ->ArgNames({"dpi", "bits", "cheques"})
    ->Args({300, 8, 3})
    ->Args({300, 24, 3})
    ->Args({600, 8, 3})
    ->Args({600, 24, 3})
    ->Args({300, 8, 0})
    ->Args({600, 24, 0})
    ->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
