#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "Bitmap.h"
#include "BmpFile.h"
#include "BmpReader.h"
#include "Dib.h"
#include "ScratchFolder.h"

namespace fs = std::filesystem;
using bmptest::MakeBmp;

namespace {

std::vector<uint8_t> With(std::vector<uint8_t> b, size_t at, uint32_t v, int bytes = 4)
{
    bmptest::Put(b, at, v, bytes);
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
        {"run-length", With(good, 30, 1), "unsupported compression 1"},
        {"pixels short", std::vector<uint8_t>(good.begin(), good.end() - 1), "pixel data truncated"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(log.Path());
        EXPECT_EQ(LoadBitmapMemory(c.bytes.data(), c.bytes.size()), nullptr);
        EXPECT_NE(log.Text().find(c.logged), std::string::npos) << log.Text();
    }
    EXPECT_EQ(LoadBitmapMemory(nullptr, 0), nullptr);
}

TEST_F(ReaderTest, ReportsAMissingFile)
{
    errno = 0;
    EXPECT_EQ(LoadBitmapFile(dir.Path("missing.bmp").c_str()), nullptr);
    EXPECT_EQ(errno, ENOENT);
}
