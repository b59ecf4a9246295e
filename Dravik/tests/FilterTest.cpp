#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "AppEnvironment.h"
#include "BitmapProcessing.h"
#include <unistd.h>

#include "Log.h"

namespace {
// Where the test locator records its releases: one file per test process.
const std::string& FreeLog()
{
    static const std::string path = [] {
        const std::string file = (std::filesystem::temp_directory_path() /
                                  ("kzt-freed-" + std::to_string(::getpid()) + ".log")).string();
        setenv("KZT_FREE_LOG", file.c_str(), 1);
        return file;
    }();
    return path;
}
}  // namespace

namespace {

struct DibDeleter {
    void operator()(DibSectionObject* d) const { DeleteObject(d); }
};
using Dib = std::unique_ptr<DibSectionObject, DibDeleter>;
using Record = std::unique_ptr<UsageDetails, decltype(&std::free)>;

// The masks as printed in the product documentation: '0' drops a pixel.
const char* const kMasks[15][4] = {
    {"11111", "11111", "11011", "11111"},  {"11111", "11111", "11011", "11110"},
    {"01111", "11111", "10111", "11101"},  {"01111", "11101", "10111", "11101"},
    {"1111", "1010", "1111", "1010"},      {"01101", "11011", "10110", "11011"},
    {"01011", "10110", "01101", "10111"},  {"01011", "10101", "11010", "10101"},
    {"0101110101", "1010101010", "0101010101", "1010111010"},
    {"0101", "1010", "0101", "1010"},
    {"1010001010", "0101010101", "1010101010", "0101000101"},
    {"10100", "01010", "00101", "01010"},  {"10100", "01001", "10010", "01000"},
    {"10010", "00100", "01001", "00100"},  {"1000", "0010", "0100", "0001"},
};

bool Dropped(int level, int storedRow, int x)
{
    const char* row = kMasks[level][storedRow % 4];
    return row[x % std::strlen(row)] == '0';
}

// Grey ramp 8-bit table: index i is grey (i, i, i) for the first `entries`.
Dib Page8(int32_t width, int32_t height, uint8_t fill, uint32_t entries = 256)
{
    RGBQUAD colors[256];
    for (uint32_t i = 0; i < 256; ++i) colors[i] = RGBQUAD{uint8_t(i), uint8_t(i), uint8_t(i), 0};
    Dib page(CreateDibSection(width, height, 8, BI_RGB, colors, entries, nullptr));
    std::memset(page->ds.dsBm.bmBits, fill, page->imageBytes);
    return page;
}

Dib Page24(int32_t width, int32_t height, uint8_t fill)
{
    Dib page(CreateDibSection(width, height, 24, BI_RGB, nullptr, 0, nullptr));
    std::memset(page->ds.dsBm.bmBits, fill, page->imageBytes);
    return page;
}

uint8_t* Pixel(const Dib& page, int32_t storedRow, int32_t x)
{
    const BITMAP& bm = page->ds.dsBm;
    return static_cast<uint8_t*>(bm.bmBits) + static_cast<size_t>(storedRow) * bm.bmWidthBytes +
           static_cast<size_t>(x) * (bm.bmBitsPixel / 8);
}

class FilterTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        logPath = (std::filesystem::temp_directory_path() /
                   ("dravik-filter-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) +
                    ".log"))
                      .string();
        std::filesystem::remove(logPath);
        SetLogFileName(logPath.c_str());
        gLogLevel = 2;
        std::filesystem::remove(FreeLog());
    }
    void TearDown() override
    {
        SetLogFileName("");
        gLogLevel = 2;
        std::filesystem::remove(logPath);
    }
    std::string Log() const
    {
        std::ifstream in(logPath, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    AppEnvironment env{AppEnvironment::DefaultsOnly{}};
    std::string logPath;
};

}  // namespace

TEST_F(FilterTest, LevelsFromPercentages)
{
    EXPECT_LT(SavingsLevel(2), 0);
    EXPECT_LT(SavingsLevel(-40), 0);
    EXPECT_EQ(SavingsLevel(3), 0);
    EXPECT_EQ(SavingsLevel(7), 0);
    EXPECT_EQ(SavingsLevel(8), 1);
    EXPECT_EQ(SavingsLevel(50), 9);
    EXPECT_EQ(SavingsLevel(72), 13);
    for (int p : {73, 80, 100, 1000}) EXPECT_EQ(SavingsLevel(p), 14);

    // No level: the page is left alone and not even examined.
    env.SavingsPercentage = 2;
    EXPECT_EQ(ProcessBitmap(nullptr, &env, 300, 0), nullptr);
    Dib page = Page24(3, 3, 0);
    EXPECT_EQ(ProcessBitmap(page.get(), &env, 300, 0), nullptr);
    for (size_t i = 0; i < page->imageBytes; ++i) ASSERT_EQ(static_cast<uint8_t*>(page->ds.dsBm.bmBits)[i], 0);
}

TEST_F(FilterTest, EveryMaskDropsExactlyItsCells)
{
    // Width 23 wraps every mask width (4, 5, 10) and leaves row padding to check.
    const int32_t width = 23, height = 9;
    for (int level = 0; level < 15; ++level) {
        env.SavingsPercentage = level * 5 + 5;
        for (int bits : {8, 24}) {
            SCOPED_TRACE(testing::Message() << "level " << level << ", " << bits << " bits");
            Dib page = bits == 8 ? Page8(width, height, 0) : Page24(width, height, 0);
            ProcessBitmap(page.get(), &env, 300, 0);
            // 8-bit: the brightest table index is 255; 24-bit: pure white.
            for (int32_t r = 0; r < height; ++r) {
                for (int32_t x = 0; x < width; ++x) {
                    const uint8_t* px = Pixel(page, r, x);
                    const uint8_t expected = Dropped(level, r, x) ? 255 : 0;
                    for (int k = 0; k < bits / 8; ++k) ASSERT_EQ(px[k], expected) << "row " << r << " col " << x;
                }
                const uint8_t* pad = Pixel(page, r, width);
                for (int k = 0; k < page->ds.dsBm.bmWidthBytes - width * bits / 8; ++k) ASSERT_EQ(pad[k], 0);
            }
        }
    }
}

TEST_F(FilterTest, WhiteAndBlackComeFromTheTable)
{
    // Brightest entry is index 7 of a short table: dropped pixels take 7.
    RGBQUAD colors[8] = {};
    colors[7] = RGBQUAD{255, 255, 255, 0};
    colors[2] = RGBQUAD{90, 90, 90, 0};
    Dib page(CreateDibSection(5, 4, 8, BI_RGB, colors, 8, nullptr));
    std::memset(page->ds.dsBm.bmBits, 200, page->imageBytes);  // indexes beyond the table
    env.SavingsPercentage = 5;
    EXPECT_EQ(ProcessBitmap(page.get(), &env, 300, 0), nullptr);
    EXPECT_EQ(*Pixel(page, 2, 2), 7);
    EXPECT_EQ(*Pixel(page, 2, 1), 200);

    // 16-bit pages have no table: each byte of a dropped pixel becomes 244.
    Dib wide(CreateDibSection(5, 4, 16, BI_RGB, nullptr, 0, nullptr));
    ProcessBitmap(wide.get(), &env, 300, 0);
    EXPECT_EQ(Pixel(wide, 2, 2)[0], 244);
    EXPECT_EQ(Pixel(wide, 2, 2)[1], 244);
    EXPECT_EQ(Pixel(wide, 2, 3)[0], 0);
}

TEST_F(FilterTest, OneAndFourBitPagesPassUnchanged)
{
    RGBQUAD mono[2] = {{0, 0, 0, 0}, {255, 255, 255, 0}};
    for (uint16_t bits : {uint16_t{1}, uint16_t{4}}) {
        Dib page(CreateDibSection(40, 8, bits, BI_RGB, mono, 2, nullptr));
        std::memset(page->ds.dsBm.bmBits, 0x5A, page->imageBytes);
        env.SavingsPercentage = 75;
        env.AdvUsageStat = 1;
        EXPECT_EQ(ProcessBitmap(page.get(), &env, 300, 0), nullptr);
        for (size_t i = 0; i < page->imageBytes; ++i) ASSERT_EQ(static_cast<uint8_t*>(page->ds.dsBm.bmBits)[i], 0x5A);
    }
}

TEST_F(FilterTest, InvalidHandlesThrowAndLog)
{
    env.SavingsPercentage = 50;
    try {
        ProcessBitmap(nullptr, &env, 300, 0);
        FAIL();
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Invalid Bitmap.");
    }
    EXPECT_NE(Log().find("Invalid Bitmap. File BitmapProcessing.cpp, Line "), std::string::npos);

    Dib page = Page24(4, 4, 0);
    page->ds.dsBm.bmBits = nullptr;
    try {
        ProcessBitmap(page.get(), &env, 300, 0);
        FAIL();
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Unsupported Bitmap.");
    }
    Dib forged = Page24(4, 4, 0);
    forged->ds.dsBm.bmHeight = 4000;  // more rows than the section holds
    EXPECT_THROW(ProcessBitmap(forged.get(), &env, 300, 0), std::runtime_error);
}

TEST_F(FilterTest, StatisticsMatchHandFigures)
{
    // 10 x 4 page, 8 bits, level 9 (checkerboard, 20 of 40 dropped).
    // Left half (x 0..4) black index 0, right half pure red index 1, table white at 2.
    RGBQUAD colors[3] = {{0, 0, 0, 0}, {0, 0, 255, 0}, {255, 255, 255, 0}};
    Dib page(CreateDibSection(10, 4, 8, BI_RGB, colors, 3, nullptr));
    for (int32_t r = 0; r < 4; ++r)
        for (int32_t x = 0; x < 10; ++x) *Pixel(page, r, x) = x < 5 ? 0 : 1;
    env.SavingsPercentage = 50;
    env.AdvUsageStat = 1;
    Record rec(ProcessBitmap(page.get(), &env, 300, 0), &std::free);
    ASSERT_NE(rec, nullptr);
    // Before: black 20 px at K=1; red 20 px at M=Y=1. 10000 x 20 / 40 = 5000.
    // Checkerboard drops exactly half of each half (10 black, 10 red): after = 2500.
    EXPECT_EQ(rec->CyanBefore, 0);
    EXPECT_EQ(rec->CyanAfter, 0);
    EXPECT_EQ(rec->MagentaBefore, 5000);
    EXPECT_EQ(rec->MagentaAfter, 2500);
    EXPECT_EQ(rec->YellowBefore, 5000);
    EXPECT_EQ(rec->YellowAfter, 2500);
    EXPECT_EQ(rec->BlackBefore, 5000);
    EXPECT_EQ(rec->BlackAfter, 2500);

    // Grey 128: K = 1 - 128/255 = 0.498039...; 3 x 7 page at level 0 drops 1 pixel (row 2, col 2).
    // before = 21 K / 21 -> 4980; after = 20 K / 21 -> 4743.
    Dib grey = Page8(7, 3, 128);
    env.SavingsPercentage = 5;
    Record g(ProcessBitmap(grey.get(), &env, 300, 0), &std::free);
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->BlackBefore, 4980);
    EXPECT_EQ(g->BlackAfter, 4743);
    EXPECT_EQ(g->CyanBefore, 0);

    Dib rgb = Page24(4, 4, 0);
    EXPECT_EQ(ProcessBitmap(rgb.get(), &env, 300, 0), nullptr);  // no table, no statistics

    double c, m, y, k;
    RgbToCmyk(255, 255, 255, &c, &m, &y, &k);
    EXPECT_EQ(c + m + y + k, 0.0);
    RgbToCmyk(0, 0, 0, &c, &m, &y, &k);
    EXPECT_EQ(c + m + y, 0.0);
    EXPECT_EQ(k, 1.0);
    RgbToCmyk(255, 0, 0, &c, &m, &y, &k);
    EXPECT_EQ(c, 0.0);
    EXPECT_EQ(m, 1.0);
    EXPECT_EQ(y, 1.0);
    EXPECT_EQ(k, 0.0);
}
