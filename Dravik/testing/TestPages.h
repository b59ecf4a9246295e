#pragma once
// Pages for the filter and MICR tests: DIB sections with a filter fixture
// around them.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "AppEnvironment.h"
#include "BitmapProcessing.h"
#include "Log.h"
#include "TestWorld.h"

using Dib = std::unique_ptr<DibSectionObject, DibDeleter>;
using Record = std::unique_ptr<UsageDetails, decltype(&std::free)>;

// An 8-bit page whose table is a grey ramp (index i is grey i) of `entries` colours.
inline Dib Page8(int32_t width, int32_t height, uint8_t fill, uint32_t entries = 256)
{
    RGBQUAD colors[256];
    for (uint32_t i = 0; i < 256; ++i) colors[i] = RGBQUAD{uint8_t(i), uint8_t(i), uint8_t(i), 0};
    Dib page(CreateDibSection(width, height, 8, BI_RGB, colors, entries, nullptr));
    std::memset(page->ds.dsBm.bmBits, fill, page->imageBytes);
    return page;
}

inline Dib PageOf(int32_t width, int32_t height, uint16_t bits, uint8_t fill)
{
    Dib page(CreateDibSection(width, height, bits, BI_RGB, nullptr, 0, nullptr));
    std::memset(page->ds.dsBm.bmBits, fill, page->imageBytes);
    return page;
}

inline uint8_t* Pixel(const Dib& page, int32_t storedRow, int32_t x)
{
    const BITMAP& bm = page->ds.dsBm;
    return static_cast<uint8_t*>(bm.bmBits) + static_cast<size_t>(storedRow) * bm.bmWidthBytes +
           static_cast<size_t>(x) * (bm.bmBitsPixel / 8);
}

// Where the stand-in locator records its releases: one file per test process.
inline const std::string& FreeLog()
{
    static const std::string path = [] {
        const std::string file =
            (std::filesystem::temp_directory_path() / ("kzt-freed-" + std::to_string(::getpid()) + ".log")).string();
        setenv("KZT_FREE_LOG", file.c_str(), 1);
        return file;
    }();
    return path;
}

// Logs into a file of its own per test; the locator's release record starts empty.
class PageFilterTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::filesystem::remove(FreeLog());
        SetLogFileName(logPath.c_str());
        gLogLevel = 2;
    }
    void TearDown() override
    {
        SetLogFileName("");
        gLogLevel = 2;
    }
    std::string Log() const { return testworld::ReadAll(logPath); }

    testworld::World world;
    const std::string logPath = (world.root / "filter.log").string();
    AppEnvironment env{AppEnvironment::DefaultsOnly{}};
};
