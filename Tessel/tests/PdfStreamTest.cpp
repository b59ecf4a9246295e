#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

#include "ChildTestTools.h"
#include "CommandLine.h"
#include "PdfStream.h"
#include "PrintSink.h"
#include "Process.h"
#include "ScratchFolder.h"

namespace {
// Keeps what is written; fails every write once `limit` bytes would be passed.
class MemorySink : public PrintSink {
public:
    explicit MemorySink(size_t limit = std::numeric_limits<size_t>::max()) : m_limit(limit) {}
    bool Write(const unsigned char* data, size_t size) override
    {
        ++writes;
        if (bytes.size() + size > m_limit) return false;
        bytes.append(reinterpret_cast<const char*>(data), size);
        return true;
    }
    bool Finish() override { return true; }
    void Abort() override {}
    std::string bytes;
    int writes = 0;

private:
    size_t m_limit;
};

// An image whose pixel (x, y) is colourAt(x, y), as RGB rows.
PdfStream::Source RgbImage(int32_t width, int32_t height, uint32_t (*colourAt)(int32_t x, int32_t y))
{
    PdfStream::Source source;
    source.width = width;
    source.height = height;
    source.readRow = [width, colourAt](int32_t row, uint32_t* pixels) {
        for (int32_t x = 0; x < width; ++x) pixels[x] = colourAt(x, row);
    };
    return source;
}

// Places an image pixel for pixel at (x, y) on a page rasterized at 72 dpi,
// edges moved in by 1/16 pixel as the device context does.
bool Place(PdfStream& pdf, const PdfStream::Source& source, int32_t scale, double x, double y)
{
    const double inset = 1.0 / 16.0;
    return pdf.DrawImage(source, source.width * scale, source.height * scale, x + inset, y + inset,
                         source.width * scale - 2 * inset, source.height * scale - 2 * inset);
}

// Checks that every object in the cross-reference table starts where it says.
void ExpectConsistentXref(const std::string& pdf)
{
    ASSERT_EQ(pdf.rfind("%PDF-1.4\n", 0), 0u);
    const size_t startxref = pdf.rfind("startxref\n");
    ASSERT_NE(startxref, std::string::npos);
    const size_t xref = std::strtoull(pdf.c_str() + startxref + 10, nullptr, 10);
    ASSERT_LT(xref, pdf.size());
    ASSERT_EQ(pdf.compare(xref, 7, "xref\n0 "), 0);
    char* end = nullptr;
    const unsigned long count = std::strtoul(pdf.c_str() + xref + 7, &end, 10);
    size_t entry = static_cast<size_t>(end - pdf.c_str()) + 1;
    ASSERT_EQ(pdf.compare(entry, 20, "0000000000 65535 f \n"), 0);
    std::vector<size_t> offsets(count);
    for (unsigned long object = 1; object < count; ++object) {
        entry += 20;
        ASSERT_LE(entry + 20, pdf.size());
        const size_t offset = offsets[object] = std::strtoull(pdf.c_str() + entry, nullptr, 10);
        const std::string header = std::to_string(object) + " 0 obj\n";
        EXPECT_EQ(pdf.compare(offset, header.size(), header), 0) << "object " << object << " at " << offset;
    }
    EXPECT_NE(pdf.find("/Size " + std::to_string(count) + "/Root 1 0 R"), std::string::npos);
    EXPECT_EQ(pdf.substr(pdf.size() - 6), "%%EOF\n");

    // Every stream ends exactly where its length, direct or in an object of its own, says.
    for (size_t at = pdf.find(">>\nstream\n"); at != std::string::npos; at = pdf.find(">>\nstream\n", at + 1)) {
        const size_t key = pdf.rfind("/Length ", at);
        ASSERT_NE(key, std::string::npos);
        size_t length = std::strtoull(pdf.c_str() + key + 8, &end, 10);
        if (std::string(end).rfind(" 0 R>>", 0) == 0) {
            const size_t object = length;
            ASSERT_LT(object, count);
            length = std::strtoull(pdf.c_str() + offsets[object] + std::to_string(object).size() + 7, nullptr, 10);
        }
        const size_t data = at + 10;
        EXPECT_EQ(pdf.compare(data + length, 10, "\nendstream"), 0) << "stream at " << data << " of length " << length;
    }
}

// The file's pages as packed RGB at 72 dpi, by "pdftoppm" or "gs".
std::string Rasterize(const std::string& tool, const std::string& pdf)
{
    const std::string command =
        tool == "gs" ? CommandLine::Join({"gs", "-q", "-dNOPAUSE", "-dBATCH", "-dSAFER", "-sDEVICE=ppmraw", "-r72",
                                          "-sOutputFile=-", pdf})
                     : CommandLine::Join({"pdftoppm", "-r", "72", pdf});
    std::string ppm;
    int status = -1;
    if (!Process::RunForOutput(command.c_str(), ppm, &status, 16u << 20) || status != 0) return {};
    return ppm;
}

// The pixels of the first PPM image in `ppm`, as 0x00RRGGBB.
std::vector<uint32_t> FirstPpm(const std::string& ppm, int& width, int& height)
{
    // Header fields are separated by blanks and may be interleaved with "#" comments.
    size_t at = 2;
    int fields[3] = {};
    for (int& field : fields) {
        while (at < ppm.size() && (isspace(static_cast<unsigned char>(ppm[at])) || ppm[at] == '#'))
            at = ppm[at] == '#' ? ppm.find('\n', at) : at + 1;
        if (at >= ppm.size()) return {};
        field = std::atoi(ppm.c_str() + at);
        while (at < ppm.size() && isdigit(static_cast<unsigned char>(ppm[at]))) ++at;
    }
    width = fields[0];
    height = fields[1];
    const size_t start = at + 1;
    const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
    if (ppm.rfind("P6", 0) != 0 || fields[2] != 255 || ppm.size() < start + 3 * count) return {};
    std::vector<uint32_t> pixels(count);
    for (size_t i = 0; i < count; ++i) {
        const auto* p = reinterpret_cast<const unsigned char*>(ppm.data() + start + 3 * i);
        pixels[i] = (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2];
    }
    return pixels;
}

uint32_t TwoColours(int32_t x, int32_t y)
{
    return (x + 2 * y) % 5 && x % 3 != 1 ? 0x000000u : 0xFFFFFFu;
}
uint32_t ThreeColours(int32_t x, int32_t y)
{
    return (x + y) % 3 == 0 ? 0xFF0000u : TwoColours(x, y);
}
uint32_t FiveColours(int32_t x, int32_t y)
{
    static const uint32_t colours[5] = {0x000000u, 0xFFFFFFu, 0xFF0000u, 0x00FF00u, 0x0000FEu};
    return colours[(x + 2 * y + x / 3) % 5];
}
uint32_t SeventeenColours(int32_t x, int32_t y)
{
    return static_cast<uint32_t>((x + 3 * y) % 17) * 0x0F0E0Du;
}
uint32_t ManyColours(int32_t x, int32_t y)
{
    return static_cast<uint32_t>(x * 4) << 16 | static_cast<uint32_t>(y * 4) << 8 | 0x80u;
}
}  // namespace

TEST(PdfStreamTest, SmallestExactEncodingIsChosenAndEveryColourComesBack)
{
    const struct {
        uint32_t (*colourAt)(int32_t, int32_t);
        const char* encoding;
    } cases[] = {
        {TwoColours, "/ColorSpace[/Indexed/DeviceRGB 1<FFFFFF000000>]/BitsPerComponent 1"},
        {ThreeColours, "/Indexed/DeviceRGB 2<FF0000FFFFFF000000>]/BitsPerComponent 2"},
        {FiveColours, "/Indexed/DeviceRGB 4<"},  // five colours: 4 bits
        {SeventeenColours, "]/BitsPerComponent 8"},
        {ManyColours, "/ColorSpace/DeviceRGB/BitsPerComponent 8"},
    };
    const int width = 50, height = 40;
    ScratchFolder folder;
    for (const auto& c : cases) {
        MemorySink sink;
        {
            PdfStream pdf(sink);
            ASSERT_TRUE(pdf.BeginPage(width + 4, height + 4));
            ASSERT_TRUE(Place(pdf, RgbImage(width, height, c.colourAt), 1, 2, 2));
            ASSERT_TRUE(pdf.EndPage());
            ASSERT_TRUE(pdf.Finish());
        }
        SCOPED_TRACE(c.encoding);
        EXPECT_NE(sink.bytes.find(c.encoding), std::string::npos);
        EXPECT_NE(sink.bytes.find("/Interpolate false/Filter/FlateDecode"), std::string::npos);
        if (c.colourAt == FiveColours) {
            EXPECT_NE(sink.bytes.find("]/BitsPerComponent 4"), std::string::npos);
        }
        ExpectConsistentXref(sink.bytes);

        const std::string path = folder.Write("image.pdf", sink.bytes);
        for (const std::string tool : {"pdftoppm", "gs"}) {
            int w = 0, h = 0;
            const std::vector<uint32_t> pixels = FirstPpm(Rasterize(tool, path), w, h);
            ASSERT_EQ(w, width + 4) << tool;
            ASSERT_EQ(h, height + 4) << tool;
            int wrong = 0;
            for (int y = 0; y < h; ++y) {
                for (int x = 0; x < w; ++x) {
                    const bool inside = x >= 2 && y >= 2 && x < width + 2 && y < height + 2;
                    const uint32_t expected = inside ? c.colourAt(x - 2, y - 2) : 0xFFFFFFu;
                    const uint32_t got = pixels[static_cast<size_t>(y * w + x)];
                    if (got != expected && ++wrong <= 3)
                        ADD_FAILURE() << tool << ": pixel (" << x << ", " << y << ") is " << std::hex << got
                                      << ", expected " << expected;
                }
            }
            EXPECT_EQ(wrong, 0) << tool;
        }
    }
}

TEST(PdfStreamTest, PalettedSourcesMapOnlyTheEntriesThatArePlaced)
{
    // A 256-entry palette of which the image uses entries 7 and 200, and
    // entry 9 only in the columns a reduction by two leaves out (the even ones:
    // each placed pixel takes the source pixel under its centre).
    std::vector<uint32_t> colours(256);
    for (size_t i = 0; i < 256; ++i) colours[i] = static_cast<uint32_t>(i) * 0x010101u;
    PdfStream::Source source;
    source.width = 8;
    source.height = 4;
    source.palette = colours;
    source.readIndices = [](int32_t row, uint8_t* indices) {
        for (int32_t x = 0; x < 8; ++x) indices[x] = x % 2 ? ((x / 2 + row) % 2 ? 7 : 200) : 9;
    };
    MemorySink sink;
    PdfStream pdf(sink);
    ASSERT_TRUE(pdf.BeginPage(100, 100));
    ASSERT_TRUE(pdf.DrawImage(source, 4, 2, 0, 0, 4, 2));
    ASSERT_TRUE(pdf.EndPage());
    ASSERT_TRUE(pdf.Finish());
    EXPECT_NE(sink.bytes.find("/Width 4/Height 2/ColorSpace[/Indexed/DeviceRGB 1<070707C8C8C8>]/BitsPerComponent 1"),
              std::string::npos)
        << sink.bytes.substr(0, 400);
}

TEST(PdfStreamTest, PalettedSourcesFindEveryEntryInLongRuns)
{
    // Runs of entry 5, one pixel of entry 3 in the middle of a run and entry 9
    // in the last pixel of a row that does not fill whole words; entry 0 is unused.
    std::vector<uint32_t> colours(256);
    for (size_t i = 0; i < 256; ++i) colours[i] = static_cast<uint32_t>(i) * 0x010101u;
    PdfStream::Source source;
    source.width = 21;
    source.height = 3;
    source.palette = colours;
    source.readIndices = [](int32_t row, uint8_t* indices) {
        for (int32_t x = 0; x < 21; ++x) indices[x] = 5;
        if (row == 1) indices[12] = 3;
        if (row == 2) indices[20] = 9;
    };
    MemorySink sink;
    PdfStream pdf(sink);
    ASSERT_TRUE(pdf.BeginPage(100, 100));
    ASSERT_TRUE(pdf.DrawImage(source, 42, 6, 0, 0, 42, 6));
    ASSERT_TRUE(pdf.EndPage());
    ASSERT_TRUE(pdf.Finish());
    EXPECT_NE(sink.bytes.find("/ColorSpace[/Indexed/DeviceRGB 2<030303050505090909>]/BitsPerComponent 2"),
              std::string::npos);
}

TEST(PdfStreamTest, PagesKeepTheirSizesAndPdfinfoReadsTheDocument)
{
    MemorySink sink;
    {
        PdfStream pdf(sink);
        const double sizes[][2] = {{612, 792}, {842, 595}, {200.5, 100.25}};
        for (const auto& size : sizes) {
            ASSERT_TRUE(pdf.BeginPage(size[0], size[1]));
            ASSERT_TRUE(Place(pdf, RgbImage(30, 20, TwoColours), 3, 10, 10));
            ASSERT_TRUE(Place(pdf, RgbImage(10, 10, ThreeColours), 1, 100, 50));
            ASSERT_TRUE(pdf.EndPage());
        }
        // A page without images is a page too.
        ASSERT_TRUE(pdf.BeginPage(300, 300));
        ASSERT_TRUE(pdf.EndPage());
        ASSERT_TRUE(pdf.Finish());
        EXPECT_FALSE(pdf.Finish());  // only once
    }
    ExpectConsistentXref(sink.bytes);
    ScratchFolder folder;
    const std::string path = folder.Write("pages.pdf", sink.bytes);
    std::string info;
    const std::string command = "sh -c " + CommandLine::Quote("pdfinfo -f 1 -l 9 '" + path + "' 2>&1");
    ASSERT_TRUE(Process::RunForOutput(command.c_str(), info));
    EXPECT_NE(info.find("Pages:           4"), std::string::npos) << info;
    EXPECT_NE(info.find("Creator:         Parsimo"), std::string::npos) << info;
    EXPECT_NE(info.find("Page    1 size:  612 x 792 pts"), std::string::npos) << info;
    EXPECT_NE(info.find("Page    2 size:  842 x 595 pts"), std::string::npos) << info;
    EXPECT_NE(info.find("Page    3 size:  200.5 x 100.25 pts"), std::string::npos) << info;
    EXPECT_EQ(info.find("Error"), std::string::npos) << info;
    EXPECT_EQ(info.find("Warning"), std::string::npos) << info;
}

TEST(PdfStreamTest, EachPageLeavesWhenItEnds)
{
    MemorySink sink;
    PdfStream pdf(sink);
    ASSERT_TRUE(pdf.BeginPage(100, 100));
    ASSERT_TRUE(Place(pdf, RgbImage(60, 60, TwoColours), 1, 0, 0));
    EXPECT_FALSE(pdf.BeginPage(100, 100));  // one page at a time
    ASSERT_TRUE(pdf.EndPage());
    const size_t afterPage = sink.bytes.size();
    EXPECT_NE(sink.bytes.find("/Type/Page/Parent 2 0 R/MediaBox[0 0 100 100]"), std::string::npos);
    EXPECT_FALSE(pdf.EndPage());
    ASSERT_TRUE(pdf.Finish());
    EXPECT_GT(sink.bytes.size(), afterPage);
    EXPECT_EQ(sink.bytes.find("/Type/Pages/Kids[", 0), sink.bytes.find("/Type/Pages/Kids[", afterPage));
}

TEST(PdfStreamTest, HostileSizesAreRefusedAndTheDocumentGoesOn)
{
    childtest::TempDir dir;
    childtest::CapturedLog log(dir);
    MemorySink sink;
    PdfStream pdf(sink);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_FALSE(pdf.BeginPage(0, 100));
    EXPECT_FALSE(pdf.BeginPage(100, PdfStream::kMaxPageSide + 1));
    EXPECT_FALSE(pdf.BeginPage(nan, 100));
    EXPECT_FALSE(pdf.DrawImage(RgbImage(2, 2, TwoColours), 2, 2, 0, 0, 2, 2));  // no page open
    ASSERT_TRUE(pdf.BeginPage(100, 100));
    const PdfStream::Source small = RgbImage(2, 2, TwoColours);
    EXPECT_FALSE(pdf.DrawImage(small, 0, 2, 0, 0, 2, 2));
    EXPECT_FALSE(pdf.DrawImage(small, PdfStream::kMaxImageSide + 1, 2, 0, 0, 2, 2));
    EXPECT_FALSE(pdf.DrawImage(RgbImage(PdfStream::kMaxImageSide + 1, 1, TwoColours), 2, 2, 0, 0, 2, 2));
    EXPECT_FALSE(pdf.DrawImage(small, 2, 2, nan, 0, 2, 2));
    EXPECT_FALSE(pdf.DrawImage(small, 2, 2, 0, 0, 2, -1));
    EXPECT_FALSE(pdf.DrawImage(small, 2, 2, 0, 1e300, 2, 2));
    PdfStream::Source noReader;
    noReader.width = noReader.height = 2;
    EXPECT_FALSE(pdf.DrawImage(noReader, 2, 2, 0, 0, 2, 2));
    const uint32_t tooMany[257] = {};
    PdfStream::Source bigPalette = noReader;
    bigPalette.palette = tooMany;
    bigPalette.readIndices = [](int32_t, uint8_t*) {};
    EXPECT_FALSE(pdf.DrawImage(bigPalette, 2, 2, 0, 0, 2, 2));
    EXPECT_NE(log.Text().find("PDF image of 2 x 2 pixels from 2 x 2 refused.\r\n"), std::string::npos);
    EXPECT_NE(log.Text().find("PDF page of 0.0 x 100.0 points refused.\r\n"), std::string::npos);

    EXPECT_TRUE(pdf.IsValid());
    EXPECT_TRUE(pdf.DrawImage(small, 2, 2, 0, 0, 2, 2));
    EXPECT_TRUE(pdf.EndPage());
    EXPECT_TRUE(pdf.Finish());
    ExpectConsistentXref(sink.bytes);
    EXPECT_EQ(sink.bytes.find("/Im1"), std::string::npos);  // only the one image drawn
}

TEST(PdfStreamTest, AFailedWriteFailsTheDocumentAndNothingMoreIsWritten)
{
    const auto noise = [](int32_t x, int32_t y) -> uint32_t {
        return (static_cast<uint32_t>(x) * 2654435761u ^ static_cast<uint32_t>(y) * 40503u) & 0xFFFFFFu;
    };
    // Where the sink gives up: in the middle of a large image (its data goes
    // out while it is compressed), at the end of a small page, at the end of
    // the document.
    enum Stage { kImage, kPage, kEnd, kNone };
    const auto run = [&](MemorySink& sink, bool large) {
        PdfStream pdf(sink);
        pdf.BeginPage(400, 400);
        const bool drawn = large ? pdf.DrawImage(RgbImage(300, 300, noise), 300, 300, 0, 0, 300, 300)
                                 : pdf.DrawImage(RgbImage(3, 3, TwoColours), 3, 3, 0, 0, 3, 3);
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
    const size_t firstPage = whole.bytes.find("xref\n") - whole.bytes.find("<</Type/Pages");
    const struct {
        size_t limit;
        bool large;
        Stage failed;
    } cases[] = {{200000, true, kImage}, {0, false, kPage}, {whole.bytes.size() - firstPage - 20, false, kEnd}};
    for (const auto& c : cases) {
        childtest::TempDir dir;
        childtest::CapturedLog log(dir);
        MemorySink sink(c.limit);
        EXPECT_EQ(run(sink, c.large), c.failed) << c.limit;
        EXPECT_NE(log.Text().find("PDF stream: write to the print job failed.\r\n"), std::string::npos);
    }
}
