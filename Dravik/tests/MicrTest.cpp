#include <gtest/gtest.h>

#include <climits>
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
#include "MicrLocator.h"

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

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

int32_t Parse(const char* text, MicrRegion* regions)
{
    int32_t count = -1;
    ParseMicrRegions(text, &count, regions);
    return count;
}

class MicrTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        logPath = (std::filesystem::temp_directory_path() /
                   ("dravik-micr-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) +
                    ".log"))
                      .string();
        std::filesystem::remove(logPath);
        std::filesystem::remove(FreeLog());
        SetLogFileName(logPath.c_str());
        gLogLevel = 0;
        std::strcpy(env.InstallDir, KZT_TEST_DIR);
        env.SavingsPercentage = 75;
    }
    void TearDown() override
    {
        SetLogFileName("");
        gLogLevel = 2;
        std::filesystem::remove(logPath);
    }
    AppEnvironment env{AppEnvironment::DefaultsOnly{}};
    std::string logPath;
};

}  // namespace

TEST(ParseMicrRegionsTest, GroupsOfFour)
{
    MicrRegion r[kMaxMicrRegions] = {};
    EXPECT_EQ(Parse("10,20,300,40", r), 1);
    EXPECT_EQ(r[0].left, 10);
    EXPECT_EQ(r[0].top, 20);
    EXPECT_EQ(r[0].right, 300);
    EXPECT_EQ(r[0].bottom, 40);
    EXPECT_EQ(Parse("1,2,3,4,5,6,7,8,", r), 2);
    EXPECT_EQ(r[1].left, 5);
    EXPECT_EQ(r[1].bottom, 8);
    EXPECT_EQ(Parse(nullptr, r), -1);  // untouched
    EXPECT_EQ(Parse("", r), -1);
    EXPECT_EQ(Parse("42", r), 0);
    EXPECT_EQ(Parse(" -3, +4,x,7 ", r), 1);
    EXPECT_EQ(r[0].left, -3);
    EXPECT_EQ(r[0].top, 4);
    EXPECT_EQ(r[0].right, 0);
    EXPECT_EQ(r[0].bottom, 7);

    std::string ten;
    for (int i = 0; i < 10; ++i) ten += std::to_string(i) + ",1,2,3,";
    EXPECT_EQ(Parse(ten.c_str(), r), 9);
    EXPECT_EQ(r[8].left, 8);
}

TEST(ParseMicrRegionsTest, IncompleteGroupsAndHugeNumbersAreSafe)
{
    MicrRegion r[kMaxMicrRegions] = {};
    // One, two or three numbers after a complete group never read past the text.
    for (const char* text : {"1,2,3,4,5", "1,2,3,4,5,6", "1,2,3,4,5,6,7", "5,6", "5,6,7"}) {
        SCOPED_TRACE(text);
        const auto copy = std::make_unique<char[]>(std::strlen(text) + 1);
        std::strcpy(copy.get(), text);
        const int32_t expected = text[0] == '1' ? 1 : 0;
        EXPECT_EQ(Parse(copy.get(), r), expected);
    }
    EXPECT_EQ(Parse("5,6,7,", r), 1);  // the fourth number runs to the end: empty gives 0
    EXPECT_EQ(r[0].bottom, 0);
    EXPECT_EQ(Parse("99999999999,-99999999999,2147483648,-2147483648", r), 1);
    EXPECT_EQ(r[0].left, INT32_MAX);
    EXPECT_EQ(r[0].top, INT32_MIN);
    EXPECT_EQ(r[0].right, INT32_MAX);
    EXPECT_EQ(r[0].bottom, INT32_MIN);
}

TEST_F(MicrTest, MissingLibraryOrExportLogsAndFiltersEverything)
{
    std::strcpy(env.InstallDir, "/nonexistent-parsimo/");
    Dib page(CreateDibSection(2550, 4, 24, BI_RGB, nullptr, 0, nullptr));
    ProcessBitmap(page.get(), &env, 300, 1);
    const std::string missing = ReadFile(logPath);
    const size_t notFound = missing.find("File /nonexistent-parsimo/libKZTLite.so not found!\r\n");
    ASSERT_NE(notFound, std::string::npos) << missing;
    // Then the block with its heading, its size line and the empty line only.
    EXPECT_EQ(missing.substr(notFound).find("[MICRLine Regions]\r\n"), 70u);
    EXPECT_NE(missing.find("  - Bitmap(H/W) = 4, 2550\r\n"), std::string::npos);
    EXPECT_EQ(missing.substr(missing.size() - 3), " \r\n");
    EXPECT_EQ(missing.find("Region["), std::string::npos);
    std::strcpy(env.InstallDir, KZT_NOEXPORTS_DIR);
    ProcessBitmap(page.get(), &env, 300, 1);
    const std::string log = ReadFile(logPath);
    EXPECT_NE(log.find("KZTGetMicrLineRegions and/or KZTFreeMem were not found in " KZT_NOEXPORTS_DIR
                       "libKZTLite.so!\r\n"),
              std::string::npos);
    EXPECT_NE(log.find("  - Bitmap(H/W) = 4, 2550\r\n"), std::string::npos);
    EXPECT_EQ(log.find("Region["), std::string::npos);
}

TEST_F(MicrTest, RegionBlockOnlyAtLevelZeroAndOnlyWithTheFlag)
{
    Dib page(CreateDibSection(2550, 3300 / 100, 8, BI_RGB, nullptr, 0, nullptr));
    ProcessBitmap(page.get(), &env, 1, 0);
    EXPECT_EQ(ReadFile(logPath), "");  // flag off: nothing loaded, nothing logged
    EXPECT_FALSE(std::filesystem::exists(FreeLog()));

    ProcessBitmap(page.get(), &env, 1, 1);
    const std::string log = ReadFile(logPath);
    const char* lines[] = {"[MICRLine Regions]\r\n", "  - Bitmap(H/W) = 33, 2550\r\n",
                           "  - Region[0] = (10, 20, 300, 40)\r\n"};
    size_t at = 0;
    for (const char* line : lines) {
        at = log.find(line, at);
        ASSERT_NE(at, std::string::npos) << line << log;
    }
    EXPECT_EQ(log.substr(at).find("\r\n") + 2 + 18 + 2, log.size() - at);  // then one stamped empty line
    EXPECT_EQ(ReadFile(FreeLog()), "freed\n");

    std::filesystem::remove(logPath);
    gLogLevel = 1;
    ProcessBitmap(page.get(), &env, 2, 1);
    EXPECT_EQ(ReadFile(logPath), "");
}

TEST_F(MicrTest, AnswersOfTheLocator)
{
    Dib page(CreateDibSection(8, 8, 8, BI_RGB, nullptr, 0, nullptr));
    ProcessBitmap(page.get(), &env, 2, 1);  // ten groups
    std::string log = ReadFile(logPath);
    EXPECT_NE(log.find("Region[8] = (9, 9, 9, 9)"), std::string::npos);
    EXPECT_EQ(log.find("Region[9]"), std::string::npos);

    std::filesystem::remove(FreeLog());
    ProcessBitmap(page.get(), &env, 3, 1);  // empty text: no region, still released
    EXPECT_EQ(ReadFile(FreeLog()), "freed\n");
    std::filesystem::remove(FreeLog());
    ProcessBitmap(page.get(), &env, 4, 1);  // no answer: nothing to release
    EXPECT_FALSE(std::filesystem::exists(FreeLog()));
}

TEST_F(MicrTest, ProtectedRegionsAreInclusiveAndDarkened)
{
    // Answer 5 protects columns 2..3 of page rows 1..2 (rows from the top).
    // 6 x 4 bottom-up page: page row y is stored row 3 - y. Level 14 drops 3 of 4.
    Dib page(CreateDibSection(6, 4, 24, BI_RGB, nullptr, 0, nullptr));
    auto* bits = static_cast<uint8_t*>(page->ds.dsBm.bmBits);
    const int32_t stride = page->ds.dsBm.bmWidthBytes;
    for (int32_t r = 0; r < 4; ++r)
        for (int32_t x = 0; x < 6; ++x) {
            bits[r * stride + x * 3] = 100;
            bits[r * stride + x * 3 + 1] = 200;
            bits[r * stride + x * 3 + 2] = 50;
        }
    env.EnhancedMicrLineQuality = 1;
    ProcessBitmap(page.get(), &env, 5, 1);
    const char* keep[4] = {"1000", "0010", "0100", "0001"};
    for (int32_t r = 0; r < 4; ++r)
        for (int32_t x = 0; x < 6; ++x) {
            const int32_t y = 3 - r;
            const uint8_t* px = bits + r * stride + x * 3;
            SCOPED_TRACE(testing::Message() << "row " << r << " col " << x);
            if (x >= 2 && x <= 3 && y >= 1 && y <= 2) {
                // Each byte below (244 - 0) / 2 = 122 goes to 0 by itself.
                EXPECT_EQ(px[0], 0);
                EXPECT_EQ(px[1], 200);
                EXPECT_EQ(px[2], 0);
            } else if (keep[r % 4][x % 4] == '0') {
                EXPECT_EQ(px[0] & px[1] & px[2], 255);
            } else {
                EXPECT_EQ(px[0], 100);
            }
        }

    // Without the setting, protected pixels stay exactly as they were; a
    // top-down page counts page rows in storage order.
    Dib top(CreateDibSection(6, -4, 8, BI_RGB, nullptr, 0, nullptr));
    std::memset(top->ds.dsBm.bmBits, 9, top->imageBytes);
    env.EnhancedMicrLineQuality = 0;
    ProcessBitmap(top.get(), &env, 5, 1);
    auto* t = static_cast<uint8_t*>(top->ds.dsBm.bmBits);
    const int32_t ts = top->ds.dsBm.bmWidthBytes;
    EXPECT_EQ(t[1 * ts + 2], 9);
    EXPECT_EQ(t[2 * ts + 3], 9);
    EXPECT_EQ(t[1 * ts + 1], 244);  // dropped by the mask ("0010": column 1 of row 1), no table: 244
}

TEST_F(MicrTest, WholePageProtectedKeepsEveryPixelAndItsInk)
{
    RGBQUAD colors[2] = {{0, 0, 0, 0}, {255, 255, 255, 0}};
    Dib page(CreateDibSection(9, 5, 8, BI_RGB, colors, 2, nullptr));
    env.AdvUsageStat = 1;
    env.EnhancedMicrLineQuality = 1;  // T = (1 - 0) / 2 = 0: nothing darkened
    std::memset(page->ds.dsBm.bmBits, 1, page->imageBytes);
    std::unique_ptr<UsageDetails, decltype(&std::free)> rec(ProcessBitmap(page.get(), &env, 6, 1), &std::free);
    ASSERT_NE(rec, nullptr);
    EXPECT_EQ(rec->BlackBefore, 0);
    EXPECT_EQ(rec->BlackAfter, 0);
    for (int32_t r = 0; r < 5; ++r)
        for (int32_t x = 0; x < 9; ++x)
            ASSERT_EQ(static_cast<uint8_t*>(page->ds.dsBm.bmBits)[r * page->ds.dsBm.bmWidthBytes + x], 1);
    std::memset(page->ds.dsBm.bmBits, 0, page->imageBytes);
    rec.reset(ProcessBitmap(page.get(), &env, 6, 1));
    EXPECT_EQ(rec->BlackBefore, 10000);
    EXPECT_EQ(rec->BlackAfter, 10000);
}
