#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "Dib.h"
#include "ScratchFolder.h"

namespace {

// A bottom-up BMP file of `bits` (1 or 8) per pixel, two colours, pixel bytes counting up from `seed`.
std::string Bmp(int32_t width, int32_t height, uint16_t bits, uint8_t seed)
{
    const size_t image = size_t(DibStride(width, bits)) * size_t(height);
    std::string b(14 + 40 + 8 + image, '\0');
    const auto put = [&b](size_t at, uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) b[at + size_t(i)] = char((v >> (8 * i)) & 0xFF);
    };
    put(0, 'B' | 'M' << 8, 2);
    put(2, uint32_t(b.size()), 4);
    put(10, 14 + 40 + 8, 4);
    put(14, 40, 4);
    put(18, uint32_t(width), 4);
    put(22, uint32_t(height), 4);
    put(26, 1, 2);
    put(28, bits, 2);
    put(46, 2, 4);
    put(58, 0xFFFFFF, 4);  // entry 1 white
    for (size_t i = 0; i < image; ++i) b[62 + i] = char(seed + i);
    return b;
}

bool SamePixels(HBITMAP dib, const std::string& file)
{
    return std::memcmp(dib->ds.dsBm.bmBits, file.data() + file.size() - dib->imageBytes, dib->imageBytes) == 0;
}

}  // namespace

TEST(PageBlockTest, PagesAreReadIntoTheLastPagesBlockWhenItIsLargeEnough)
{
    ScratchFolder dir;
    ScopedLog log{dir};
    const auto load = [&dir](const std::string& file, HBITMAP spare) {
        return LoadBitmapFile(dir.Write("page.bmp", file).c_str(), spare);
    };
    const std::string large = Bmp(40, 30, 8, 1), small = Bmp(9, 5, 1, 7);
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
    const std::string larger = Bmp(80, 30, 8, 3);
    HBITMAP fourth = load(larger, third);
    ASSERT_NE(fourth, nullptr);
    EXPECT_TRUE(SamePixels(fourth, larger));
    // A refused file frees the block handed in (the leak checker watches).
    EXPECT_EQ(load("XM" + large.substr(2), fourth), nullptr);
}
