#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <limits>
#include <span>
#include <string>
#include <vector>

#include "PdfStream.h"
#include "PrintSink.h"
#include "PrintTestSupport.h"
#include "ScratchFolder.h"

namespace {
// Keeps what is written; fails every write that would pass `limit` bytes.
struct MemorySink : PrintSink {
    explicit MemorySink(size_t most = std::numeric_limits<size_t>::max()) : limit(most) { }
    bool Write(const unsigned char* data, size_t size) override
    {
        ++writes;
        if (bytes.size() + size > limit) return false;
        bytes.append(reinterpret_cast<const char*>(data), size);
        return true;
    }
    bool Finish() override { return true; }
    void Abort() override { }
    size_t limit;
    std::string bytes;
    int writes = 0;
};

using ColourAt = uint32_t (*)(int32_t x, int32_t y);

PdfStream::Source RgbImage(int32_t width, int32_t height, ColourAt colourAt)
{
    PdfStream::Source source{width, height, {}, {}, {}};
    source.readRow = [width, colourAt](int32_t row, uint32_t* pixels) {
        for (int32_t x = 0; x < width; ++x) pixels[x] = colourAt(x, row);
    };
    return source;
}

// A one-page document holding one image.
std::string OneImage(const PdfStream::Source& source, int32_t width, int32_t height,
                     unsigned threads = PdfStream::DefaultThreads())
{
    MemorySink sink;
    PdfStream pdf(sink, threads);
    EXPECT_TRUE(pdf.BeginPage(width + 4, height + 4));
    EXPECT_TRUE(pdf.DrawImage(source, width, height, 2.0625, 2.0625, width - 0.125, height - 0.125));
    EXPECT_TRUE(pdf.EndPage());
    EXPECT_TRUE(pdf.Finish());
    return sink.bytes;
}

// The first image's data, inflated (checksum included); empty when it does
// not inflate or holds other than `expected` bytes.
std::vector<uint8_t> InflatedImage(const std::string& pdf, size_t expected)
{
    const size_t start = pdf.find(">>\nstream\n", pdf.find("/Subtype/Image")) + 10;
    const size_t end = pdf.find("\nendstream", start);
    std::vector<uint8_t> rows(expected + 1);
    uLongf size = uLongf(rows.size());
    const int status =
        uncompress(rows.data(), &size, reinterpret_cast<const Bytef*>(pdf.data() + start), uLong(end - start));
    rows.resize(status == Z_OK && size == expected ? size : 0);
    return rows;
}

// Every object of the cross-reference table starts where it says, and every
// stream ends where its length (direct or an object of its own) says.
void ExpectConsistent(const std::string& pdf)
{
    ASSERT_EQ(pdf.rfind("%PDF-1.4\n", 0), 0u);
    ASSERT_EQ(pdf.substr(pdf.size() - 6), "%%EOF\n");
    const size_t xref = std::strtoull(pdf.c_str() + pdf.rfind("startxref\n") + 10, nullptr, 10);
    ASSERT_EQ(pdf.compare(xref, 7, "xref\n0 "), 0);
    char* end = nullptr;
    const size_t count = std::strtoul(pdf.c_str() + xref + 7, &end, 10);
    const size_t table = static_cast<size_t>(end - pdf.c_str()) + 1;
    ASSERT_LE(table + 20 * count, pdf.size());
    EXPECT_NE(pdf.find("trailer\n<</Size " + std::to_string(count) + "/Root 1 0 R"), std::string::npos);
    std::vector<size_t> offsets(count);
    for (size_t object = 1; object < count; ++object) {
        offsets[object] = std::strtoull(pdf.c_str() + table + 20 * object, nullptr, 10);
        const std::string header = std::to_string(object) + " 0 obj\n";
        ASSERT_EQ(pdf.compare(offsets[object], header.size(), header), 0) << "object " << object;
    }
    for (size_t at = pdf.find(">>\nstream\n"); at != std::string::npos; at = pdf.find(">>\nstream\n", at + 1)) {
        size_t length = std::strtoull(pdf.c_str() + pdf.rfind("/Length ", at) + 8, &end, 10);
        if (std::string_view(end, 6) == " 0 R>>") {
            ASSERT_LT(length, count);
            length = std::strtoull(pdf.c_str() + pdf.find('\n', offsets[length]) + 1, nullptr, 10);
        }
        EXPECT_EQ(pdf.compare(at + 10 + length, 10, "\nendstream"), 0) << "stream at " << at;
    }
}

uint32_t TwoColours(int32_t x, int32_t y)
{
    return printtest::IsInk(x, y) ? 0x000000u : 0xFFFFFFu;
}

// An image of palette indices, read a row at a time.
PdfStream::Source IndexedImage(int32_t width, int32_t height, std::span<const uint32_t> palette,
                               std::function<uint8_t(int32_t x, int32_t y)> indexAt)
{
    return {width,
            height,
            palette,
            [width, indexAt](int32_t y, uint8_t* p) {
                for (int32_t x = 0; x < width; ++x) p[x] = indexAt(x, y);
            },
            {}};
}

// 256 distinct colours.
std::vector<uint32_t> DistinctPalette()
{
    std::vector<uint32_t> palette(256);
    for (size_t i = 0; i < 256; ++i) palette[i] = static_cast<uint32_t>(i * 0x010305u) & 0xFFFFFFu;
    return palette;
}

// A OneImage document through both renderers: every pixel of the image as
// `colourAt` says, the margin around it white.
void ExpectRendered(const std::string& pdf, int32_t width, int32_t height,
                    const std::function<uint32_t(int32_t x, int32_t y)>& colourAt)
{
    ScratchFolder folder;
    const std::string path = folder.Write("image.pdf", pdf);
    for (const std::string tool : {"pdftoppm", "gs"}) {
        printtest::Raster r;
        ASSERT_TRUE(printtest::Rasterize(tool, path, 1, 72, 0, 0, width + 4, height + 4, r));
        ASSERT_TRUE(r.width == width + 4 && r.height == height + 4) << tool;
        int wrong = 0;
        for (int y = 0; y < r.height; ++y)
            for (int x = 0; x < r.width; ++x) {
                const bool inside = x >= 2 && y >= 2 && x < width + 2 && y < height + 2;
                wrong += r.At(x, y) != (inside ? colourAt(x - 2, y - 2) : 0xFFFFFFu);
            }
        EXPECT_EQ(wrong, 0) << tool;
    }
}
}  // namespace

TEST(PdfStreamTest, SmallestExactEncodingIsChosenAndEveryColourComesBack)
{
    const struct {
        ColourAt colourAt;
        const char* encoding;
    } cases[] = {
        {TwoColours, "/ColorSpace[/Indexed/DeviceRGB 1<FFFFFF000000>]/BitsPerComponent 1/Interpolate false"},
        {[](int32_t x, int32_t y) { return (x + y) % 3 == 0 ? 0xFF0000u : TwoColours(x, y); },
         "/Indexed/DeviceRGB 2<FF0000FFFFFF000000>]/BitsPerComponent 2"},
        {[](int32_t x, int32_t y) {
             static const uint32_t colours[5] = {0x000000u, 0xFFFFFFu, 0xFF0000u, 0x00FF00u, 0x0000FEu};
             return colours[(x + 2 * y + x / 3) % 5];
         },
         "/Indexed/DeviceRGB 4<000000FFFFFFFF00000000FE00FF00>]/BitsPerComponent 4"},
        {[](int32_t x, int32_t y) { return static_cast<uint32_t>((x + 3 * y) % 17) * 0x0F0E0Du; },
         "/Indexed/DeviceRGB 16<"},
        {[](int32_t x, int32_t y) {
             return static_cast<uint32_t>(x * 4) << 16 | static_cast<uint32_t>(y * 4) << 8 | 0x80u;
         },
         "/ColorSpace/DeviceRGB/BitsPerComponent 8/Interpolate false/Filter/FlateDecode"},
    };
    const int width = 50, height = 40;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.encoding);
        const std::string bytes = OneImage(RgbImage(width, height, c.colourAt), width, height);
        EXPECT_NE(bytes.find(c.encoding), std::string::npos);
        ExpectConsistent(bytes);
        ExpectRendered(bytes, width, height, c.colourAt);
    }
}

// The colour scan may stop once a page is known to need 8 bits an index; a
// page whose palette repeats colours is not such a page however many entries
// it uses, and a colour first seen on its last row must come back too.
TEST(PdfStreamTest, ColoursFirstSeenLowDownComeBackExactly)
{
    // Entries below 200 show ten colours between them, the others four more.
    std::vector<uint32_t> palette(256);
    for (size_t i = 0; i < 256; ++i) palette[i] = static_cast<uint32_t>(i < 200 ? i % 10 : 10 + i % 4) * 0x100D0Bu;
    std::vector<uint32_t> own(256);  // every entry its own colour
    for (size_t i = 0; i < 256; ++i) own[i] = static_cast<uint32_t>(i) * 0x010307u & 0xFFFFFFu;
    const struct {
        const std::vector<uint32_t>* palette;
        void (*row)(int32_t y, uint8_t* indices);
        const char* encoding;
    } cases[] = {
        // Forty entries (ten colours) at the top, four more colours at the foot.
        {&palette,
         [](int32_t y, uint8_t* p) {
             for (int32_t x = 0; x < 30; ++x) p[x] = uint8_t(y < 280 ? (x + y) % 40 : 200 + x % 4);
         },
         "/BitsPerComponent 4"},
        // Twenty colours at the top, one more on the last row only.
        {&own,
         [](int32_t y, uint8_t* p) {
             for (int32_t x = 0; x < 30; ++x) p[x] = uint8_t(y == 299 && x == 7 ? 250 : (x + y) % 20);
         },
         "/Indexed/DeviceRGB 255<"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.encoding);
        const int32_t width = 30, height = 300;
        const std::string bytes = OneImage(PdfStream::Source{width, height, *c.palette, c.row, {}}, width, height);
        EXPECT_NE(bytes.find(c.encoding), std::string::npos);
        ExpectRendered(bytes, width, height, [&c](int32_t x, int32_t y) {
            uint8_t indices[30];
            c.row(y, indices);
            return (*c.palette)[indices[x]];
        });
    }
}

// Large images are compressed in bands, on several threads, joined into one
// zlib stream: it must inflate, checksum included, to the source's rows
// placed nearest neighbour, the same with one thread as with three, for
// each of the writer's coders.
TEST(PdfStreamTest, ImagesCompressedInBandsInflateToTheSameRows)
{
    const std::vector<uint32_t> palette = DistinctPalette();
    const int32_t width = 1201, height = 901;  // a band starts on a repeated row
    // Text-like rows above, noise below: bands that cost unlike amounts.
    const auto index = [](int32_t x, int32_t y) -> uint8_t {
        if (y < height / 2) return printtest::IsInk(x, y) ? 3 : 250;
        return uint8_t((x * 7919u + y * 104729u) >> 3);
    };
    const PdfStream::Source indexed = IndexedImage(width, height, palette, index);
    const PdfStream::Source rgb = RgbImage(width, height, [](int32_t x, int32_t y) {
        return static_cast<uint32_t>(x * 0x010203 + y * 0x030201) & 0xFFFFFFu;
    });
    const struct {
        const PdfStream::Source& source;
        int32_t scale;
        size_t bytesPerPixel;
        const char* coder;
    } cases[] = {
        {indexed, 2, 1, "ours, enlarged"},
        {indexed, 1, 1, "ours, not enlarged"},
        {rgb, 1, 3, "zlib, RGB"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.coder);
        const int32_t w = width * c.scale, h = height * c.scale;
        const size_t expected = size_t(w) * size_t(h) * c.bytesPerPixel;
        const std::vector<uint8_t> one = InflatedImage(OneImage(c.source, w, h, 1), expected);
        const std::string banded = OneImage(c.source, w, h, 3);
        ExpectConsistent(banded);
        ASSERT_EQ(one.size(), expected);
        EXPECT_TRUE(InflatedImage(banded, expected) == one);
        // The rows are the source's, placed nearest neighbour.
        int wrong = 0;
        for (int32_t y = 0; y < h; y += 7)
            for (int32_t x = 0; x < w; x += 5) {
                const size_t at = (size_t(y) * size_t(w) + size_t(x)) * c.bytesPerPixel;
                if (c.bytesPerPixel == 1)
                    wrong += one[at] != index(x / c.scale, y / c.scale);
                else
                    wrong += (uint32_t(one[at]) << 16 | uint32_t(one[at + 1]) << 8 | one[at + 2]) !=
                             ((static_cast<uint32_t>(x * 0x010203 + y * 0x030201)) & 0xFFFFFFu);
            }
        EXPECT_EQ(wrong, 0);
    }
}

TEST(PdfStreamTest, HostileSizesAreRefusedAndTheDocumentGoesOn)
{
    ScratchFolder folder;
    ScopedLog log(folder);
    MemorySink sink;
    {
        PdfStream pdf(sink);
        const double nan = std::numeric_limits<double>::quiet_NaN();
        const PdfStream::Source small = RgbImage(2, 2, TwoColours);
        EXPECT_FALSE(pdf.DrawImage(small, 2, 2, 0, 0, 2, 2));  // no page open
        for (const double side : {0.0, nan, PdfStream::kMaxPageSide + 1}) EXPECT_FALSE(pdf.BeginPage(100, side));
        ASSERT_TRUE(pdf.BeginPage(100, 100));
        EXPECT_FALSE(pdf.BeginPage(100, 100));  // one page at a time
        EXPECT_FALSE(pdf.DrawImage(small, 0, 2, 0, 0, 2, 2));
        EXPECT_FALSE(pdf.DrawImage(small, PdfStream::kMaxImageSide + 1, 2, 0, 0, 2, 2));
        EXPECT_FALSE(pdf.DrawImage(RgbImage(PdfStream::kMaxImageSide + 1, 1, TwoColours), 2, 2, 0, 0, 2, 2));
        for (const double place : {nan, 1e300}) EXPECT_FALSE(pdf.DrawImage(small, 2, 2, 0, 0, 2, place));
        EXPECT_FALSE(pdf.DrawImage(PdfStream::Source{2, 2, {}, {}, {}}, 2, 2, 0, 0, 2, 2));  // nothing to read
        const uint32_t tooMany[257] = {};
        EXPECT_FALSE(pdf.DrawImage(PdfStream::Source{2, 2, tooMany, [](int32_t, uint8_t*) {}, {}}, 2, 2, 0, 0, 2, 2));
        EXPECT_TRUE(pdf.DrawImage(small, 2, 2, 0, 0, 2, 2));
        EXPECT_TRUE(pdf.EndPage());
        // A page of fractional size, and one without images, are pages too.
        ASSERT_TRUE(pdf.BeginPage(200.5, 100.25));
        ASSERT_TRUE(pdf.DrawImage(RgbImage(90, 60, TwoColours), 90, 60, 10, 10, 90, 60));
        ASSERT_TRUE(pdf.EndPage() && pdf.BeginPage(300, 300) && pdf.EndPage() && pdf.Finish());
        EXPECT_FALSE(pdf.Finish());  // only once
    }
    EXPECT_NE(log.Text().find("PDF image of 2 x 2 pixels from 2 x 2 refused.\r\n"), std::string::npos);
    EXPECT_NE(log.Text().find("PDF page of 100.0 x 0.0 points refused.\r\n"), std::string::npos);
    EXPECT_EQ(sink.bytes.find("/Im1"), std::string::npos);  // refused images leave nothing
    ExpectConsistent(sink.bytes);
    EXPECT_EQ(printtest::PageSizes(folder.Write("pages.pdf", sink.bytes)),
              (std::vector<std::string>{"100 x 100", "201 x 100", "300 x 300"}));
}

TEST(PdfStreamTest, AFailedWriteFailsTheDocumentAndNothingMoreIsWritten)
{
    const ColourAt noise = [](int32_t x, int32_t y) {
        return (static_cast<uint32_t>(x) * 2654435761u ^ static_cast<uint32_t>(y) * 40503u) & 0xFFFFFFu;
    };
    // Where the sink gives up: in a large image (its data leaves while it is
    // compressed), at the end of a small page, at the end of the document.
    enum Stage { kImage, kPage, kEnd, kNone };
    const auto run = [&](MemorySink& sink, bool large) {
        PdfStream pdf(sink);
        pdf.BeginPage(400, 400);
        const int side = large ? 300 : 3;
        const bool drawn =
            pdf.DrawImage(RgbImage(side, side, large ? noise : TwoColours), side, side, 0, 0, side, side);
        const bool paged = pdf.EndPage();
        if (drawn && paged) return pdf.Finish() ? kNone : kEnd;
        const int writes = sink.writes;
        EXPECT_FALSE(pdf.BeginPage(100, 100));
        EXPECT_FALSE(pdf.Finish());
        EXPECT_EQ(sink.writes, writes) << "written after the failure";
        return drawn ? kPage : kImage;
    };
    MemorySink whole;
    ASSERT_EQ(run(whole, false), kNone);
    const struct {
        size_t limit;
        bool large;
        Stage failed;
    } cases[] = {{200000, true, kImage}, {0, false, kPage}, {whole.bytes.find("2 0 obj\n<</Type/Pages"), false, kEnd}};
    for (const auto& c : cases) {
        ScratchFolder folder;
        ScopedLog log(folder);
        MemorySink sink(c.limit);
        EXPECT_EQ(run(sink, c.large), c.failed) << c.limit;
        EXPECT_NE(log.Text().find("PDF stream: write to the print job failed.\r\n"), std::string::npos);
    }
}

// One-bit rows are packed eight source pixels at a time where a single
// entry is pixel 1, and a pixel at a time where several are (a palette
// holding white twice). The colour scan packs a page of two entries at
// most as it reads it, against the first entry it meets, and turns the
// bits over where that one is 0 (black at the top left, or a page of white
// alone), or packs them again where both are one colour, 0. Every case, at
// the source's size and doubled, across long runs and repeated groups, on a
// width no multiple of eight, must give every pixel back with the padding clear.
TEST(PdfStreamTest, OneBitPagesComeBackWhicheverEntryIsMetFirst)
{
    std::vector<uint32_t> palette(256, 0x808080u);
    palette[3] = 0x000000u;
    palette[250] = palette[251] = 0xFFFFFFu;
    const int32_t width = 203, height = 19;
    const char* const kinds[] = {"black first", "white first", "two whites", "white alone", "two whites alone"};
    for (const char* kind : kinds) {
        const std::string k = kind;
        const auto index = [k](int32_t x, int32_t y) -> uint8_t {
            if (k == "white alone") return 250;
            if (k == "two whites alone") return (x + y) % 3 == 0 ? 251 : 250;
            const bool runs = (y == 9 && x > 40) || (x % 16 < 8 && y > 15);
            if ((printtest::IsInk(x, y) && y > 0) || runs || x % 11 == (k == "white first" ? 5 : 0)) return 3;
            return k == "two whites" && (x + y) % 3 == 0 ? 251 : 250;
        };
        const PdfStream::Source source = IndexedImage(width, height, palette, index);
        for (const int32_t scale : {1, 2}) {
            SCOPED_TRACE(k + ", scale " + std::to_string(scale));
            const int32_t w = width * scale, h = height * scale;
            const std::string pdf = OneImage(source, w, h, 1);
            const bool alone = k.find("alone") != std::string::npos;
            // The palette in entry order: black, then white.
            ASSERT_NE(pdf.find(alone ? "/Indexed/DeviceRGB 0<FFFFFF>" : "/Indexed/DeviceRGB 1<000000FFFFFF>"),
                      std::string::npos);
            const size_t rowBytes = (size_t(w) + 7) / 8;
            const std::vector<uint8_t> bits = InflatedImage(pdf, rowBytes * size_t(h));
            ASSERT_FALSE(bits.empty());
            int wrong = 0;
            for (int32_t y = 0; y < h; ++y)
                for (int32_t x = 0; x < w; ++x) {
                    const bool one = (bits[size_t(y) * rowBytes + size_t(x) / 8] >> (7 - x % 8)) & 1;
                    wrong += one != (!alone && index(x / scale, y / scale) != 3);
                }
            EXPECT_EQ(wrong, 0);
            for (int32_t y = 0; y < h && w % 8 != 0; ++y)
                EXPECT_EQ(bits[size_t(y) * rowBytes + rowBytes - 1] & (0xFFu >> (w % 8)), 0u) << "row " << y;
        }
    }
}

// A source that lends its rows in place is read only there, for the colour
// scan and for the rows: its copying reader here gives wrong indices, so
// any use of it shows in the image.
TEST(PdfStreamTest, RowsLentInPlaceGiveTheSameImageAsRowsCopied)
{
    const std::vector<uint32_t> palette = DistinctPalette();
    const int32_t width = 301, height = 23;
    for (const bool twoColours : {true, false}) {
        std::vector<uint8_t> pixels(size_t(width) * size_t(height));
        for (int32_t y = 0; y < height; ++y)
            for (int32_t x = 0; x < width; ++x)
                pixels[size_t(y) * size_t(width) + size_t(x)] =
                    twoColours ? (printtest::IsInk(x, y) ? 3 : 250) : uint8_t((x * 7 + y * 3) % 40 + (x % 5 ? 0 : 200));
        const auto rowAt = [&](int32_t y) { return pixels.data() + size_t(y) * size_t(width); };
        const PdfStream::Source copied{
            width, height, palette, [&](int32_t y, uint8_t* p) { std::copy_n(rowAt(y), width, p); }, {}};
        PdfStream::Source lent{width, height, palette, [](int32_t, uint8_t* p) { std::fill_n(p, width, 7); }, {}};
        lent.indexRow = rowAt;
        for (const int32_t scale : {1, 2}) {
            SCOPED_TRACE(std::string(twoColours ? "two colours" : "many colours") + ", scale " + std::to_string(scale));
            const size_t bits = twoColours ? 1 : 8;
            const size_t expected = (size_t(width * scale) * bits + 7) / 8 * size_t(height * scale);
            const std::vector<uint8_t> fromCopies =
                InflatedImage(OneImage(copied, width * scale, height * scale), expected);
            ASSERT_FALSE(fromCopies.empty());
            EXPECT_TRUE(InflatedImage(OneImage(lent, width * scale, height * scale), expected) == fromCopies);
        }
    }
}
