// The image compressors a printed page can go through, on a page as
// Ghostscript renders it (300 dpi, 256 colours, text, grey and colour areas)
// enlarged nearest neighbour to a 600-dpi printer's pixels: zlib at level 1
// (its fastest), zlib's run-length strategy, and our ImageDeflater. Reports
// the compressed size of the page; the time is per page. The page is thinned
// with a keep/drop pattern first, as every printed page is. Last, the whole
// image through the PDF writer with its compression in one band against as
// many threads as the machine has processors (real time: the bands run on
// threads of their own), for the colour page and for a black-and-white one
// (text and a black area: a 1-bit image).
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "Bitmap.h"
#include "CommandLine.h"
#include "Dib.h"
#include "ImageDeflater.h"
#include "PdfStream.h"
#include "PrintSink.h"
#include "Process.h"

namespace fs = std::filesystem;

namespace {
struct Page {
    std::vector<uint8_t> rows;  // enlarged, one byte a pixel, top row first
    size_t rowBytes = 0;
    std::vector<uint32_t> palette;
};

// Page 1 of a colour job (or of a black-and-white one), rendered once,
// enlarged `scale` times both ways.
Page MakePage(size_t scale, bool colour = true)
{
    {
        Page p;
        std::random_device random;
        const fs::path folder = fs::temp_directory_path() / ("parsimo-deflatebench-" + std::to_string(random()));
        fs::create_directories(folder);
        std::ofstream(folder / "page.ps") << "%!PS\n/Helvetica findfont 11 scalefont setfont\n"
                                             "0 1 30 { /l exch def 72 660 l 14 mul sub moveto\n"
                                             "  (The quick brown fox jumps over the lazy dog, again.) show } for\n"
                                             "100 100 200 120 rectfill\n"
                                          << (colour ? "0.5 setgray 320 100 200 120 rectfill\n"
                                                       "0.2 0.4 0.8 setrgbcolor 320 230 150 60 rectfill\n"
                                                     : "")
                                          << "showpage\n";
        Process gs;
        const std::string commandLine =
            CommandLine::Join({"gs", "-q", "-dNOPAUSE", "-dBATCH", "-sDEVICE=bmp256", "-r300",
                               "-sOutputFile=" + (folder / "page.bmp").string(), (folder / "page.ps").string()});
        int status = -1;
        if (gs.CreateChildProcess(commandLine.c_str(), true, 2, false) && gs.Wait(&status) && status == 0) {
            if (HBITMAP dib = LoadBitmapFile((folder / "page.bmp").c_str())) {
                const BITMAP& bm = dib->ds.dsBm;
                p.rowBytes = size_t(bm.bmWidth) * scale;
                const auto* bits = static_cast<const uint8_t*>(bm.bmBits);
                const auto white = uint8_t(FindBrightestColor(dib->colors, int32_t(dib->colorCount)));
                for (uint32_t i = 0; i < dib->colorCount; ++i) {
                    const RGBQUAD& c = dib->colors[i];
                    p.palette.push_back(uint32_t(c.rgbRed) << 16 | uint32_t(c.rgbGreen) << 8 | c.rgbBlue);
                }
                // A 30 % saving's pattern: a 5 x 4 mask.
                const char* const mask[4] = {"01101", "11011", "10110", "11011"};
                for (int32_t y = bm.bmHeight - 1; y >= 0; --y) {
                    std::vector<uint8_t> row(p.rowBytes);
                    for (size_t x = 0; x < p.rowBytes; ++x) {
                        const bool keep = mask[(bm.bmHeight - 1 - y) % 4][(x / scale) % 5] == '1';
                        row[x] = keep ? bits[size_t(y) * size_t(bm.bmWidthBytes) + x / scale] : white;
                    }
                    for (size_t copy = 0; copy < scale; ++copy) p.rows.insert(p.rows.end(), row.begin(), row.end());
                }
                DeleteObject(dib);
            }
        }
        fs::remove_all(folder);
        return p;
    }
}

// Scale 2 for a 600-dpi printer, 1 for a 300-dpi one.
const Page& EnlargedPage(int64_t scale)
{
    static const Page pages[2] = {MakePage(1), MakePage(2)};
    return pages[scale == 1 ? 0 : 1];
}

void Zlib(benchmark::State& state, int strategy)
{
    const Page& page = EnlargedPage(state.range(0));
    if (page.rows.empty()) return state.SkipWithError("no page from gs");
    std::vector<uint8_t> out(64 * 1024);
    size_t size = 0;
    for (auto _ : state) {
        z_stream zs{};
        deflateInit2(&zs, 1, Z_DEFLATED, 15, 8, strategy);
        size = 0;
        for (size_t at = 0; at <= page.rows.size(); at += page.rowBytes) {
            const bool last = at == page.rows.size();
            zs.next_in = last ? nullptr : const_cast<uint8_t*>(page.rows.data() + at);
            zs.avail_in = last ? 0u : uInt(page.rowBytes);
            do {
                zs.next_out = out.data();
                zs.avail_out = uInt(out.size());
                deflate(&zs, last ? Z_FINISH : Z_NO_FLUSH);
                size += out.size() - zs.avail_out;
            } while (zs.avail_out == 0);
        }
        deflateEnd(&zs);
    }
    state.counters["KiB"] = double(size) / 1024.0;
}

void Ours(benchmark::State& state)
{
    const Page& page = EnlargedPage(state.range(0));
    if (page.rows.empty()) return state.SkipWithError("no page from gs");
    size_t size = 0;
    for (auto _ : state) {
        ImageDeflater deflater(page.rowBytes);
        size = 0;
        for (size_t at = 0; at < page.rows.size(); at += page.rowBytes) {
            deflater.AddRow(page.rows.data() + at);
            size += deflater.Output().size();
            deflater.ClearOutput();
        }
        deflater.Finish();
        size += deflater.Output().size();
    }
    state.counters["KiB"] = double(size) / 1024.0;
}
// Counts what the PDF writer hands over.
struct CountingSink : PrintSink {
    bool Write(const unsigned char*, size_t size) override
    {
        bytes += size;
        return true;
    }
    bool Finish() override { return true; }
    void Abort() override { }
    size_t bytes = 0;
};

// The 300-dpi page placed at `scale` times its size (range 0), its image
// compressed by range 1 threads (0: the writer's own choice); the colour
// page, or the black-and-white one where range 2 is 0.
void Pdf(benchmark::State& state)
{
    static const Page bw = MakePage(1, false);
    const Page& page = state.range(2) != 0 ? EnlargedPage(1) : bw;
    if (page.rows.empty()) return state.SkipWithError("no page from gs");
    const auto width = int32_t(page.rowBytes), height = int32_t(page.rows.size() / page.rowBytes);
    const auto scale = int32_t(state.range(0));
    const unsigned threads = state.range(1) == 0 ? PdfStream::DefaultThreads() : unsigned(state.range(1));
    const PdfStream::Source source{width,
                                   height,
                                   page.palette,
                                   [&page](int32_t row, uint8_t* indices) {
                                       std::copy_n(page.rows.data() + size_t(row) * page.rowBytes, page.rowBytes,
                                                   indices);
                                   },
                                   {},
                                   // Lent in place, as a rendered page's rows are.
                                   [&page](int32_t row) { return page.rows.data() + size_t(row) * page.rowBytes; }};
    CountingSink sink;
    PdfStream pdf(sink, threads);
    for (auto _ : state) {
        pdf.BeginPage(612, 792);
        pdf.DrawImage(source, width * scale, height * scale, 0, 0, 612, 792);
        pdf.EndPage();
    }
    pdf.Finish();
    state.counters["KiB"] = double(sink.bytes) / 1024.0 / double(state.iterations());
    state.counters["threads"] = threads;
}
}  // namespace

BENCHMARK_CAPTURE(Zlib, level1, Z_DEFAULT_STRATEGY)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Zlib, level1_rle, Z_RLE)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);
BENCHMARK(Ours)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);
BENCHMARK(Pdf)
    ->Args({1, 1, 1})
    ->Args({1, 0, 1})
    ->Args({2, 1, 1})
    ->Args({2, 0, 1})
    ->Args({2, 1, 0})
    ->Args({2, 0, 0})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_MAIN();
