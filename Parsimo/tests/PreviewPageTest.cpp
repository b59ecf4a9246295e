#include <gtest/gtest.h>

#include "PreviewPage.h"

namespace {
bool IsWhite(const PreviewImage& image, int x, int y)
{
    const uint8_t* p =
        &image.bgra[(static_cast<size_t>(y) * static_cast<size_t>(image.width) + static_cast<size_t>(x)) * 4];
    return p[0] == 255 && p[1] == 255 && p[2] == 255;
}

// Compares the solid bar of the preview with a mask, cell by cell: a page
// pixel dropped by the mask shows as a white square of kZoom pixels, a kept
// one keeps its colour. The mask is anchored at the first stored row, the
// page's bottom row, and at the left column.
int MaskMismatches(const PreviewImage& image, const std::vector<std::string>& mask)
{
    constexpr int zoom = PreviewPage::kZoom;
    int mismatches = 0;
    for (int y = PreviewPage::kSolid[1]; y < PreviewPage::kSolid[3]; ++y)
        for (int x = PreviewPage::kSolid[0]; x < PreviewPage::kSolid[2]; ++x) {
            const std::string& row = mask[static_cast<size_t>(PreviewPage::kHeight - 1 - y) % mask.size()];
            const bool dropped = row[static_cast<size_t>(x) % row.size()] == '0';
            for (int dy = 0; dy < zoom; ++dy)
                for (int dx = 0; dx < zoom; ++dx) mismatches += IsWhite(image, x * zoom + dx, y * zoom + dy) != dropped;
        }
    return mismatches;
}
}  // namespace

TEST(PreviewPage, ThirtyAndSeventyFivePercentShowTheirMasksAndSavings)
{
    // Without the code kept whole: the mask alone.
    const PreviewImage off = PreviewPage::Render(0, 0, 0);
    const PreviewImage thirty = PreviewPage::Render(30, 0, 0);
    const PreviewImage most = PreviewPage::Render(75, 0, 0);
    ASSERT_EQ(thirty.width, PreviewPage::kWidth * PreviewPage::kZoom);

    EXPECT_EQ(MaskMismatches(off, {"1"}), 0);
    EXPECT_EQ(MaskMismatches(thirty, {"01101", "11011", "10110", "11011"}), 0);
    EXPECT_EQ(MaskMismatches(most, {"1000", "0010", "0100", "0001"}), 0);

    // The filter's own statistics: the share of the page's ink the mask drops.
    EXPECT_NEAR(thirty.savedShare, 0.30, 0.02);
    EXPECT_NEAR(most.savedShare, 0.75, 0.02);
}
