#include <array>
#include <climits>
#include <vector>

#include "TestPages.h"

namespace {

// Logs at level 0 and finds the stand-in locator of the build; codes are not looked for.
class MicrTest : public PageFilterTest {
protected:
    void SetUp() override
    {
        PageFilterTest::SetUp();
        gLogLevel = 0;
        std::strcpy(env.InstallDir, KZT_TEST_DIR);
        env.SavingsPercentage = 75;
        env.ProtectCodes = 0;  // only the locator's regions, and only its lines in the log
    }
};

}  // namespace

TEST(ParseMicrRegionsTest, GroupsLimitsAndBadNumbers)
{
    std::string ten;
    for (int i = 0; i < 10; ++i) ten += std::to_string(i) + ",1,2,3,";
    struct Case {
        const char* text;
        int32_t count;  // -1: left untouched
        MicrRegion last;
    };
    const Case cases[] = {
        {"1,2,3,4,5,6,7,8,", 2, {5, 6, 7, 8}},
        {nullptr, -1, {}},
        {"", -1, {}},
        {"42", 0, {}},
        {" -3, +4,x,7 ", 1, {-3, 4, 0, 7}},
        {ten.c_str(), 9, {8, 1, 2, 3}},
        // A trailing partial group is ignored and never read past the text;
        // a fourth number that runs to the end reads as 0.
        {"1,2,3,4,5,6,7", 1, {1, 2, 3, 4}},
        {"5,6,7", 0, {}},
        {"5,6,7,", 1, {5, 6, 7, 0}},
        {"99999999999,-99999999999,2147483648,-2147483648", 1, {INT32_MAX, INT32_MIN, INT32_MAX, INT32_MIN}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text ? c.text : "null");
        // An exact-size copy on the heap, so reading past its end is caught.
        std::vector<char> copy;
        if (c.text) copy.assign(c.text, c.text + std::strlen(c.text) + 1);
        MicrRegion r[kMaxMicrRegions] = {};
        int32_t count = -1;
        ParseMicrRegions(c.text ? copy.data() : nullptr, &count, r);
        ASSERT_EQ(count, c.count);
        if (count <= 0) continue;
        const MicrRegion& got = r[count - 1];
        EXPECT_EQ((std::array{got.left, got.top, got.right, got.bottom}),
                  (std::array{c.last.left, c.last.top, c.last.right, c.last.bottom}));
    }
}

TEST_F(MicrTest, MissingLibraryOrExportLogsAndFiltersEverything)
{
    std::strcpy(env.InstallDir, "/nonexistent-parsimo/");
    Dib page = PageOf(2550, 4, 24, 0);
    ProcessBitmap(page.get(), &env, 300, 1);
    const std::string missing = Log();
    EXPECT_NE(missing.find("File /nonexistent-parsimo/libKZTLite.so not found!\r\n"), std::string::npos) << missing;
    EXPECT_EQ(missing.find("Region["), std::string::npos);
    EXPECT_EQ(*Pixel(page, 0, 1), 255) << "the page is still thinned";

    std::strcpy(env.InstallDir, KZT_NOEXPORTS_DIR);
    ProcessBitmap(page.get(), &env, 300, 1);
    const std::string log = Log();
    EXPECT_NE(
        log.find("KZTGetMicrLineRegions and/or KZTFreeMem were not found in " KZT_NOEXPORTS_DIR "libKZTLite.so!\r\n"),
        std::string::npos);
    EXPECT_EQ(log.find("Region["), std::string::npos);
}

TEST_F(MicrTest, LocatorAnswersAreLoggedAtLevelZeroAndAlwaysReleased)
{
    Dib page = PageOf(2550, 33, 8, 0);
    ProcessBitmap(page.get(), &env, 1, 0);
    EXPECT_EQ(Log(), "");  // flag off: nothing loaded, nothing logged
    EXPECT_FALSE(std::filesystem::exists(FreeLog()));

    ProcessBitmap(page.get(), &env, 1, 1);
    const std::string log = Log();
    EXPECT_NE(log.find("  - Region[0] = (10, 20, 300, 40)\r\n"), std::string::npos) << log;
    EXPECT_EQ(testworld::ReadAll(FreeLog()), "freed\n");

    std::filesystem::remove(logPath);
    std::filesystem::remove(FreeLog());
    gLogLevel = 1;
    ProcessBitmap(page.get(), &env, 3, 1);  // empty text: no region, still released
    EXPECT_EQ(Log(), "");
    EXPECT_EQ(testworld::ReadAll(FreeLog()), "freed\n");
    std::filesystem::remove(FreeLog());
    ProcessBitmap(page.get(), &env, 4, 1);  // no answer: nothing to release
    EXPECT_FALSE(std::filesystem::exists(FreeLog()));
}

TEST_F(MicrTest, ProtectedRegionsAreInclusiveAndDarkened)
{
    // Answer 5 protects columns 2..3 of page rows 1..2 (rows from the top).
    // 6 x 4 bottom-up page: page row y is stored row 3 - y. Level 14 drops 3 of 4.
    Dib page = PageOf(6, 4, 24, 0);
    for (int32_t r = 0; r < 4; ++r)
        for (int32_t x = 0; x < 6; ++x) std::memcpy(Pixel(page, r, x), "\x64\xc8\x32", 3);  // 100, 200, 50
    env.EnhancedMicrLineQuality = 1;
    ProcessBitmap(page.get(), &env, 5, 1);
    const char* keep[4] = {"1000", "0010", "0100", "0001"};
    for (int32_t r = 0; r < 4; ++r)
        for (int32_t x = 0; x < 6; ++x) {
            const int32_t y = 3 - r;
            const uint8_t* px = Pixel(page, r, x);
            SCOPED_TRACE(testing::Message() << "row " << r << " col " << x);
            if (x >= 2 && x <= 3 && y >= 1 && y <= 2) {
                // Each byte below (244 - 0) / 2 = 122 goes to 0 by itself.
                EXPECT_EQ(px[0], 0);
                EXPECT_EQ(px[1], 200);
                EXPECT_EQ(px[2], 0);
            } else {
                EXPECT_EQ(px[0], keep[r % 4][x % 4] == '0' ? 255 : 100);
            }
        }

    // Without the setting, protected pixels stay exactly as they were; a
    // top-down page counts page rows in storage order.
    Dib top = PageOf(6, -4, 8, 9);
    env.EnhancedMicrLineQuality = 0;
    ProcessBitmap(top.get(), &env, 5, 1);
    EXPECT_EQ(*Pixel(top, 1, 2), 9);
    EXPECT_EQ(*Pixel(top, 2, 3), 9);
    EXPECT_EQ(*Pixel(top, 1, 1), 244);  // dropped by the mask ("0010": column 1 of row 1), no table: 244
}

TEST_F(MicrTest, WholePageProtectedKeepsEveryPixelAndItsInk)
{
    RGBQUAD colors[2] = {{0, 0, 0, 0}, {255, 255, 255, 0}};
    Dib page(CreateDibSection(9, 5, 8, BI_RGB, colors, 2, nullptr));
    env.AdvUsageStat = 1;
    env.EnhancedMicrLineQuality = 1;  // T = (1 - 0) / 2 = 0: nothing darkened
    for (uint8_t fill : {1, 0}) {
        std::memset(page->ds.dsBm.bmBits, fill, page->imageBytes);
        const Record rec(ProcessBitmap(page.get(), &env, 6, 1), &std::free);
        ASSERT_NE(rec, nullptr);
        EXPECT_EQ(rec->BlackBefore, fill ? 0 : 10000);
        EXPECT_EQ(rec->BlackAfter, rec->BlackBefore);
        for (int32_t r = 0; r < 5; ++r)
            for (int32_t x = 0; x < 9; ++x) ASSERT_EQ(*Pixel(page, r, x), fill);
    }
}

TEST_F(MicrTest, PalettePagesAreDarkenedByColourNotByIndex)
{
    // Ghostscript's colour cube: index 36 r + 6 g + b, each level a step of 51.
    RGBQUAD cube[256] = {};
    for (int i = 0; i < 216; ++i)
        cube[i] = RGBQUAD{uint8_t(i % 6 * 51), uint8_t(i / 6 % 6 * 51), uint8_t(i / 36 * 51), 0};
    Dib page(CreateDibSection(6, 4, 8, BI_RGB, cube, 256, nullptr));
    env.EnhancedMicrLineQuality = 1;
    // Answer 5 protects columns 2..3 of page rows 1..2, stored rows 1..2 of this bottom-up page.
    struct Case {
        uint8_t index, expected;
    };
    // Black and dark grey go to black; cyan, light green, mid-grey and white
    // stay, though all but white lie below the old index threshold of 107.
    const Case cases[] = {{0, 0}, {43, 0}, {35, 35}, {104, 104}, {129, 129}, {215, 215}};
    for (const Case& c : cases) {
        std::memset(page->ds.dsBm.bmBits, c.index, page->imageBytes);
        ProcessBitmap(page.get(), &env, 5, 1);
        for (int32_t r = 1; r <= 2; ++r)
            for (int32_t x = 2; x <= 3; ++x) EXPECT_EQ(*Pixel(page, r, x), c.expected) << int(c.index);
        EXPECT_EQ(*Pixel(page, 0, 1), 215) << "outside the region the page is thinned to the brightest index";
    }
}
