#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "Bitmap.h"
#include "BmpReader.h"
#include "Dib.h"
#include "ScratchFolder.h"

namespace fs = std::filesystem;

namespace {

// Stores a little-endian field of 2 or 4 bytes.
void Put(std::vector<uint8_t>& b, size_t at, uint32_t v, int bytes = 4)
{
    for (int i = 0; i < bytes; ++i) b[at + i] = (v >> (8 * i)) & 0xFF;
}

std::vector<uint8_t> With(std::vector<uint8_t> b, size_t at, uint32_t v, int bytes = 4)
{
    Put(b, at, v, bytes);
    return b;
}

// A BMP file with a 40-byte info header; pixel bytes are filled with a
// running counter so that the copy can be checked.
std::vector<uint8_t> MakeBmp(int32_t width, int32_t height, uint16_t bits, uint32_t colors = 0, uint32_t clrUsed = 0)
{
    const size_t offset = 14 + 40 + 4 * colors;
    const size_t image =
        static_cast<size_t>(DibStride(width, bits)) * static_cast<size_t>(height < 0 ? -height : height);
    std::vector<uint8_t> b(offset + image);
    Put(b, 0, 'B' | 'M' << 8, 2);
    Put(b, 2, static_cast<uint32_t>(b.size()));
    Put(b, 10, static_cast<uint32_t>(offset));
    Put(b, 14, 40);
    Put(b, 18, static_cast<uint32_t>(width));
    Put(b, 22, static_cast<uint32_t>(height));
    Put(b, 26, 1, 2);
    Put(b, 28, bits, 2);
    Put(b, 46, clrUsed);
    for (uint32_t i = 0; i < colors; ++i)  // blue i, green 2i, red 255 - i
        Put(b, 14 + 40 + 4 * i, (i & 0xFF) | ((i * 2) & 0xFF) << 8 | ((255 - i) & 0xFF) << 16);
    for (size_t i = 0; i < image; ++i) b[offset + i] = static_cast<uint8_t>(i * 7 + 1);
    return b;
}

class ReaderTest : public ::testing::Test {
protected:
    ScratchFolder dir;
    ScopedLog log{dir};
};

}  // namespace

TEST_F(ReaderTest, LoadsEveryDepthInStorageOrder)
{
    struct Case {
        int32_t width, height;
        uint16_t bits;
        uint32_t colors;
    } cases[] = {{33, 3, 1, 2}, {5, -4, 4, 16}, {3, 2, 8, 256}, {1, -3, 24, 0}, {2, 2, 32, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bits);
        const std::vector<uint8_t> file = MakeBmp(c.width, c.height, c.bits, c.colors);
        HBITMAP dib = LoadBitmapMemory(file.data(), file.size());
        ASSERT_NE(dib, nullptr);
        DIBSECTION ds{};
        ASSERT_EQ(GetObjectA(dib, sizeof(ds), &ds), static_cast<int>(sizeof(ds)));
        EXPECT_EQ(ds.dsBm.bmWidth, c.width);
        EXPECT_EQ(ds.dsBm.bmBitsPixel, c.bits);
        EXPECT_EQ(ds.dsBmih.biHeight, c.height);  // storage order kept
        const size_t offset = file.size() - dib->imageBytes;
        EXPECT_EQ(std::memcmp(ds.dsBm.bmBits, file.data() + offset, dib->imageBytes), 0);
        RGBQUAD table[256];
        EXPECT_EQ(GetDIBColorTable(dib, 0, 256, table), c.colors);
        DeleteObject(dib);
    }
}

TEST_F(ReaderTest, ShortColourTableNeverReadPast)
{
    // Four entries announced for an 8-bit page whose pixels use indexes up to 255.
    const std::vector<uint8_t> file = MakeBmp(8, 2, 8, 4, 4);
    HBITMAP dib = LoadBitmapMemory(file.data(), file.size());
    ASSERT_NE(dib, nullptr);
    RGBQUAD table[256];
    EXPECT_EQ(GetDIBColorTable(dib, 3, 10, table), 1u);
    std::vector<uint8_t> rgb(static_cast<size_t>(DibStride(8, 24)) * 2);
    ASSERT_EQ(GetDIBitsRgb24(dib, rgb.data(), rgb.size()), 2);
    // Pixel 0 holds index 1 (red 254, green 2, blue 1); pixel 1 index 8 (no entry: black).
    const uint8_t expected[6] = {1, 2, 254, 0, 0, 0};
    EXPECT_EQ(std::memcmp(rgb.data(), expected, 6), 0);
    EXPECT_EQ(GetDIBitsRgb24(dib, rgb.data(), rgb.size() - 1), 0);
    DeleteObject(dib);
}

TEST_F(ReaderTest, RefusesHostileFilesWithTheFault)
{
    const std::vector<uint8_t> good = MakeBmp(4, 4, 8, 256);
    const struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        const char* logged;
    } cases[] = {
        {"truncated header", std::vector<uint8_t>(good.begin(), good.begin() + 30), "truncated header, 30 bytes"},
        {"offset past end", With(good, 10, 0x7FFFFFF0), "past the end of the data"},
        {"width x height overflow", With(With(MakeBmp(4, 4, 32), 18, 30000), 22, 30000), "above the limit"},
        {"palette beyond 256", With(good, 46, 257), "257 entries, more than 256"},
        {"negative width", With(good, 18, static_cast<uint32_t>(-4)), "width -4 outside"},
        {"zero planes", With(good, 26, 0, 2), "0 planes instead of 1"},
        {"run-length", With(good, 30, 1), "unsupported compression 1"},
        {"pixels short", std::vector<uint8_t>(good.begin(), good.end() - 1), "pixel data truncated"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(log.Path());
        EXPECT_EQ(LoadBitmapMemory(c.bytes.data(), c.bytes.size()), nullptr);
        EXPECT_NE(log.Text().find(c.logged), std::string::npos) << log.Text();
        EXPECT_NE(log.Text().find("Invalid BMP memory: "), std::string::npos);
    }
    EXPECT_EQ(LoadBitmapMemory(nullptr, 0), nullptr);
}

TEST_F(ReaderTest, ReportsMissingAndTruncatedFiles)
{
    errno = 0;
    EXPECT_EQ(LoadBitmapFile(dir.Path("missing.bmp").c_str()), nullptr);
    EXPECT_EQ(errno, ENOENT);

    const std::vector<uint8_t> file = MakeBmp(3, 2, 24);
    const std::string path = dir.Write("page.bmp", std::string(file.begin(), file.begin() + 20));
    EXPECT_EQ(LoadBitmapFile(path.c_str()), nullptr);
    EXPECT_NE(log.Text().find("Invalid BMP " + path + ": truncated header, 20 bytes"), std::string::npos) << log.Text();
}
