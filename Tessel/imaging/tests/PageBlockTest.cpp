#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "BmpFile.h"
#include "Dib.h"
#include "ScratchFolder.h"

namespace {

bool SamePixels(HBITMAP dib, const std::vector<uint8_t>& file)
{
    return std::memcmp(dib->ds.dsBm.bmBits, file.data() + file.size() - dib->imageBytes, dib->imageBytes) == 0;
}

}  // namespace

TEST(PageBlockTest, PagesAreReadIntoTheLastPagesBlockWhenItIsLargeEnough)
{
    ScratchFolder dir;
    ScopedLog log{dir};
    const auto load = [&dir](const std::vector<uint8_t>& file, HBITMAP spare) {
        return LoadBitmapFile(dir.Write("page.bmp", std::string(file.begin(), file.end())).c_str(), spare);
    };
    // Two colours each; pixels that differ from page to page.
    const auto large = bmptest::MakeBmp(40, 30, 8, 2, 2, 1), small = bmptest::MakeBmp(9, 5, 1, 2, 2, 7);
    HBITMAP first = load(large, nullptr);
    ASSERT_NE(first, nullptr);
    // A smaller page takes the block over, with its own header, table and pixels.
    HBITMAP second = load(small, first);
    ASSERT_EQ(second, first);
    EXPECT_EQ(second->ds.dsBm.bmBitsPixel, 1);
    EXPECT_EQ(second->colorCount, 2u);
    EXPECT_TRUE(SamePixels(second, small));
    // The block keeps its size: the large page fits again; a larger one gets a block of its own.
    HBITMAP third = load(large, second);
    ASSERT_EQ(third, first);
    EXPECT_TRUE(SamePixels(third, large));
    const auto larger = bmptest::MakeBmp(80, 30, 8, 2, 2, 3);
    HBITMAP fourth = load(larger, third);
    ASSERT_NE(fourth, nullptr);
    EXPECT_TRUE(SamePixels(fourth, larger));
    // A refused file frees the block handed in (the leak checker watches).
    std::vector<uint8_t> refused = large;
    refused[0] = 'X';
    EXPECT_EQ(load(refused, fourth), nullptr);
}
