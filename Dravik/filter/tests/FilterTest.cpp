#include <algorithm>
#include <stdexcept>

#include "TestPages.h"

namespace {

// The masks as printed in the product documentation: '0' drops a pixel.
const char* const kMasks[15][4] = {
    {"11111", "11111", "11011", "11111"},
    {"11111", "11111", "11011", "11110"},
    {"01111", "11111", "10111", "11101"},
    {"01111", "11101", "10111", "11101"},
    {"1111", "1010", "1111", "1010"},
    {"01101", "11011", "10110", "11011"},
    {"01011", "10110", "01101", "10111"},
    {"01011", "10101", "11010", "10101"},
    {"0101110101", "1010101010", "0101010101", "1010111010"},
    {"0101", "1010", "0101", "1010"},
    {"1010001010", "0101010101", "1010101010", "0101000101"},
    {"10100", "01010", "00101", "01010"},
    {"10100", "01001", "10010", "01000"},
    {"10010", "00100", "01001", "00100"},
    {"1000", "0010", "0100", "0001"},
};

bool Dropped(int level, int storedRow, int x)
{
    const char* row = kMasks[level][storedRow % 4];
    return row[x % std::strlen(row)] == '0';
}

using FilterTest = PageFilterTest;

}  // namespace

TEST_F(FilterTest, LevelsFromPercentages)
{
    const int pairs[][2] = {{2, -1}, {3, 0}, {7, 0}, {8, 1}, {50, 9}, {72, 13}, {73, 14}, {1000, 14}};
    for (const auto& [percent, level] : pairs) EXPECT_EQ(std::max(SavingsMasks::Level(percent), -1), level) << percent;

    // No level: the page is left alone and not even examined.
    env.SavingsPercentage = 2;
    EXPECT_EQ(ProcessBitmap(nullptr, &env, 300, 0), nullptr);
    Dib page = PageOf(3, 3, 24, 0);
    EXPECT_EQ(ProcessBitmap(page.get(), &env, 300, 0), nullptr);
    EXPECT_EQ(std::string(static_cast<char*>(page->ds.dsBm.bmBits), page->imageBytes),
              std::string(page->imageBytes, 0));
}

TEST_F(FilterTest, EveryMaskDropsExactlyItsCells)
{
    // Width 23 wraps every mask width (4, 5, 10) and leaves row padding to check.
    const int32_t width = 23, height = 9;
    for (int level = 0; level < 15; ++level) {
        env.SavingsPercentage = level * 5 + 5;
        for (int bits : {8, 24}) {
            SCOPED_TRACE(testing::Message() << "level " << level << ", " << bits << " bits");
            Dib page = bits == 8 ? Page8(width, height, 0) : PageOf(width, height, 24, 0);
            ProcessBitmap(page.get(), &env, 300, 0);
            // 8-bit: the brightest table index is 255; 24-bit: pure white.
            for (int32_t r = 0; r < height; ++r) {
                for (int32_t x = 0; x < width; ++x) {
                    const uint8_t expected = Dropped(level, r, x) ? 255 : 0;
                    for (int k = 0; k < bits / 8; ++k) ASSERT_EQ(Pixel(page, r, x)[k], expected) << r << "," << x;
                }
                const uint8_t* pad = Pixel(page, r, width);
                for (int k = 0; k < page->ds.dsBm.bmWidthBytes - width * bits / 8; ++k) ASSERT_EQ(pad[k], 0);
            }
        }
    }
}

TEST_F(FilterTest, DroppedPixelsTakeTheTablesWhiteOr244)
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
    Dib wide = PageOf(5, 4, 16, 0);
    ProcessBitmap(wide.get(), &env, 300, 0);
    EXPECT_EQ(Pixel(wide, 2, 2)[0], 244);
    EXPECT_EQ(Pixel(wide, 2, 2)[1], 244);
    EXPECT_EQ(Pixel(wide, 2, 3)[0], 0);

    // 1- and 4-bit pages pass unchanged.
    RGBQUAD mono[2] = {{0, 0, 0, 0}, {255, 255, 255, 0}};
    env.SavingsPercentage = 75;
    env.AdvUsageStat = 1;
    for (uint16_t bits : {uint16_t{1}, uint16_t{4}}) {
        Dib few(CreateDibSection(40, 8, bits, BI_RGB, mono, 2, nullptr));
        std::memset(few->ds.dsBm.bmBits, 0x5A, few->imageBytes);
        EXPECT_EQ(ProcessBitmap(few.get(), &env, 300, 0), nullptr);
        EXPECT_EQ(std::string(static_cast<char*>(few->ds.dsBm.bmBits), few->imageBytes),
                  std::string(few->imageBytes, 0x5A));
    }
}

TEST_F(FilterTest, InvalidHandlesThrowAndLog)
{
    env.SavingsPercentage = 50;
    const auto errorOf = [this](HBITMAP bitmap) -> std::string {
        try {
            ProcessBitmap(bitmap, &env, 300, 0);
        } catch (const std::runtime_error& e) {
            return e.what();
        }
        return "no error";
    };
    EXPECT_EQ(errorOf(nullptr), "Invalid Bitmap.");
    EXPECT_NE(Log().find("Invalid Bitmap. File BitmapProcessing.cpp, Line "), std::string::npos);
    Dib page = PageOf(4, 4, 24, 0);
    page->ds.dsBm.bmBits = nullptr;
    EXPECT_EQ(errorOf(page.get()), "Unsupported Bitmap.");
    Dib forged = PageOf(4, 4, 24, 0);
    forged->ds.dsBm.bmHeight = 4000;  // more rows than the section holds
    EXPECT_EQ(errorOf(forged.get()), "Invalid Bitmap.");
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
    const int32_t expected[8] = {0, 0, 5000, 2500, 5000, 2500, 5000, 2500};
    EXPECT_EQ(std::memcmp(rec.get(), expected, sizeof expected), 0)
        << rec->MagentaBefore << " " << rec->MagentaAfter << " " << rec->BlackBefore << " " << rec->BlackAfter;

    // Grey 128: K = 1 - 128/255 = 0.498039...; 3 x 7 page at level 0 drops 1 pixel (row 2, col 2).
    // before = 21 K / 21 -> 4980; after = 20 K / 21 -> 4743.
    Dib grey = Page8(7, 3, 128);
    env.SavingsPercentage = 5;
    Record g(ProcessBitmap(grey.get(), &env, 300, 0), &std::free);
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->BlackBefore, 4980);
    EXPECT_EQ(g->BlackAfter, 4743);
    EXPECT_EQ(g->CyanBefore, 0);

    Dib rgb = PageOf(4, 4, 24, 0);
    EXPECT_EQ(ProcessBitmap(rgb.get(), &env, 300, 0), nullptr);  // no table, no statistics
}
