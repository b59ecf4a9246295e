#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <stdexcept>

#include "Bitmap.h"
#include "ScratchFolder.h"

namespace {

struct DibDeleter {
    void operator()(DibSectionObject* d) const { DeleteObject(d); }
};
using Dib = std::unique_ptr<DibSectionObject, DibDeleter>;

// The block as the print engine, a derived class, sees it.
struct Inspected : Bitmap {
    using Bitmap::Bitmap;
    const BITMAPINFOHEADER* GetDIB() const { return m_pDIB; }
    const uint8_t* GetBits() const { return m_pBits; }
    const RGBQUAD* GetColorTable() const { return reinterpret_cast<const RGBQUAD*>(m_pDIB + 1); }
    int32_t GetColorCount() const
    {
        return static_cast<int32_t>((m_pBits - reinterpret_cast<const uint8_t*>(m_pDIB + 1)) / 4);
    }
    int32_t GetBlackIndex() const { return m_iBlackIndex; }
    int32_t GetWhiteIndex() const { return m_iWhiteIndex; }
};

RGBQUAD Rgb(uint8_t r, uint8_t g, uint8_t b)
{
    return RGBQUAD{b, g, r, 0};
}

}  // namespace

TEST(BitmapTest, CopiesSectionsWithTheirTables)
{
    Dib rgb(CreateDibSection(1, 3, 24, BI_RGB, nullptr, 0, nullptr));
    std::memset(rgb->ds.dsBm.bmBits, 0x5A, rgb->imageBytes);
    Inspected page(rgb.get());
    EXPECT_EQ(page.GetBits() - reinterpret_cast<const uint8_t*>(page.GetDIB()), 40);  // no table

    RGBQUAD colors[16] = {};
    colors[5] = colors[7] = Rgb(255, 255, 255);
    colors[0] = Rgb(1, 0, 0);
    Dib indexed(CreateDibSection(3, -2, 8, BI_RGB, colors, 16, nullptr));
    page.SetBitmap(indexed.get());
    EXPECT_EQ(page.GetDIB()->biHeight, -2);  // top-down stays top-down
    EXPECT_EQ(page.GetColorCount(), 16);
    EXPECT_EQ(page.GetWhiteIndex(), 5);  // first of equals
    EXPECT_EQ(page.GetBlackIndex(), 1);  // entry 1 is pure black
    EXPECT_EQ(std::memcmp(page.GetColorTable(), colors, sizeof(colors)), 0);
}

TEST(BitmapTest, BitfieldSectionsBecome24Bit)
{
    const uint32_t masks[3] = {0xFF0000, 0x00FF00, 0x0000FF};
    Dib section(CreateDibSection(2, 2, 32, BI_BITFIELDS, nullptr, 0, masks));
    auto* px = static_cast<uint8_t*>(section->ds.dsBm.bmBits);
    px[0] = 10;  // blue of the first pixel
    px[6] = 30;  // red of the second
    Inspected page(section.get());
    EXPECT_EQ(page.GetDIB()->biBitCount, 24);
    const uint8_t expectedRow[8] = {10, 0, 0, 0, 0, 30, 0, 0};
    EXPECT_EQ(std::memcmp(page.GetBits(), expectedRow, 8), 0);
}

TEST(BitmapTest, RefusesHandlesThatAreNoBitmap)
{
    ScratchFolder folder;
    ScopedLog log(folder);
    Dib good(CreateDibSection(4, 4, 8, BI_RGB, nullptr, 0, nullptr));
    Inspected page(good.get());
    // A section whose stride disagrees with its width is no bitmap either; the
    // failed load leaves the object empty.
    Dib forged(CreateDibSection(4, 4, 8, BI_RGB, nullptr, 0, nullptr));
    forged->ds.dsBm.bmHeight = 1000;
    forged->ds.dsBm.bmWidthBytes = 4000;
    EXPECT_THROW(page.SetBitmap(forged.get()), std::runtime_error);
    EXPECT_EQ(page.GetDIB(), nullptr);
    EXPECT_NE(log.Text().find("Invalid Bitmap."), std::string::npos) << log.Text();
}
