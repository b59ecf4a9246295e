#include <gtest/gtest.h>

#include "DevModeOptions.h"

namespace {
DEVMODE PageSetup(int16_t orientation, int16_t paper, int16_t quality, int16_t copies, int16_t collate)
{
    DEVMODE dm{};
    dm.dmFields = DM_ORIENTATION | DM_PAPERSIZE | DM_PRINTQUALITY | DM_COPIES | DM_COLLATE;
    dm.dmOrientation = orientation;
    dm.dmPaperSize = paper;
    dm.dmPrintQuality = quality;
    dm.dmCopies = copies;
    dm.dmCollate = collate;
    return dm;
}

DEVMODE RoundTrip(const DEVMODE& in)
{
    DEVMODE out{};
    for (const PrintOption& option : DevModeOptions::ToOptions(in))
        EXPECT_TRUE(DevModeOptions::ApplyOption(out, option.first.c_str(), option.second.c_str())) << option.first;
    return out;
}
}  // namespace

TEST(DevModeOptionsTest, PageSetupRoundTripsThroughOptions)
{
    for (const DEVMODE& in : {PageSetup(DMORIENT_LANDSCAPE, 1, 1200, 3, 0), PageSetup(1, 9, DMRES_HIGH, 1, 1)}) {
        const DEVMODE out = RoundTrip(in);
        EXPECT_EQ(out.dmPaperSize, in.dmPaperSize);
        EXPECT_EQ(out.dmOrientation, in.dmOrientation);
        EXPECT_EQ(out.dmPrintQuality, in.dmPrintQuality);
        EXPECT_EQ(out.dmCopies, in.dmCopies);
        EXPECT_EQ(out.dmCollate, in.dmCollate);
    }

    DEVMODE custom = PageSetup(1, DMPAPER_USER, 300, 1, 1);
    custom.dmFields |= DM_PAPERWIDTH | DM_PAPERLENGTH;
    custom.dmPaperWidth = 1005;
    custom.dmPaperLength = 2000;
    EXPECT_EQ(DevModeOptions::ToOptions(custom)[1], PrintOption("media", "custom_100.5x200mm"));
    const DEVMODE out = RoundTrip(custom);
    EXPECT_EQ(out.dmPaperWidth, 1005);
    EXPECT_EQ(out.dmPaperLength, 2000);
    DEVMODE a4{};  // a custom name of a known size is that paper
    ASSERT_TRUE(DevModeOptions::ApplyOption(a4, "media", "custom_210x297mm"));
    EXPECT_EQ(a4.dmPaperSize, DMPAPER_A4);
}

TEST(DevModeOptionsTest, BadValuesChangeNothing)
{
    DEVMODE dm = PageSetup(1, 1, 300, 1, 1);
    dm.dmFields = 0;
    const char* const bad[][2] = {
        {"orientation-requested", "3x"},
        {"copies", "99999"},
        {"printer-resolution", "99999999999999999999dpi"},
        {"media", "iso_a4_nanxinfmm"},
        {"media", "custom_9999x20in"},
        {"unknown-option", "1"},
    };
    for (const auto& option : bad) EXPECT_FALSE(DevModeOptions::ApplyOption(dm, option[0], option[1])) << option[1];
    EXPECT_FALSE(DevModeOptions::ApplyOption(dm, nullptr, "1"));
    EXPECT_EQ(dm.dmFields, 0u);
    EXPECT_EQ(dm.dmPaperSize, 1);
}
