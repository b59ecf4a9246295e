#include "InkMap.h"

namespace {

// Darker than mid-grey is ink; weights of the usual luma, summing to 256.
bool IsDark(uint32_t red, uint32_t green, uint32_t blue)
{
    return red * 77 + green * 150 + blue * 29 < 128u * 256u;
}

bool IsSupported(uint16_t bits, uint32_t compression)
{
    return compression == BI_RGB && (bits == 1 || bits == 4 || bits == 8 || bits == 24 || bits == 32);
}

}  // namespace

InkMap::InkMap(HBITMAP page)
{
    if (page == nullptr) return;
    // The handle comes from another module: every field that steers a read is
    // checked against the others and against the section's own byte count.
    const BITMAP& bm = page->ds.dsBm;
    const BITMAPINFOHEADER& bih = page->ds.dsBmih;
    if (bm.bmType != 0 || bm.bmPlanes != 1 || bm.bmBits == nullptr || bih.biSize != sizeof(BITMAPINFOHEADER) ||
        bm.bmWidth <= 0 || bm.bmWidth > kMaxDibDimension || bm.bmHeight <= 0 || bm.bmHeight > kMaxDibDimension ||
        bih.biWidth != bm.bmWidth || (bih.biHeight != bm.bmHeight && bih.biHeight != -bm.bmHeight) ||
        bih.biBitCount != bm.bmBitsPixel || !IsSupported(bm.bmBitsPixel, bih.biCompression) || page->colorCount > 256 ||
        page->imageBytes > kMaxDibImageBytes)
        return;
    const int64_t stride = DibStride(bm.bmWidth, bm.bmBitsPixel);
    if (stride <= 0 || stride != bm.bmWidthBytes ||
        static_cast<uint64_t>(stride) * static_cast<uint64_t>(bm.bmHeight) > page->imageBytes)
        return;

    m_Width = bm.bmWidth;
    m_Height = bm.bmHeight;
    m_Stride = bm.bmWidthBytes;
    m_BitsPerPixel = bm.bmBitsPixel;
    m_BottomUp = bih.biHeight > 0;
    m_Bits = static_cast<const uint8_t*>(bm.bmBits);
    // Indexes past the table are paper: they carry no colour of their own.
    for (uint32_t i = 0; i < page->colorCount; ++i) {
        const RGBQUAD& c = page->colors[i];
        m_IndexIsInk[i] = IsDark(c.rgbRed, c.rgbGreen, c.rgbBlue) ? 1 : 0;
    }
    m_Valid = true;
}

bool InkMap::IsInkAt(const uint8_t* row, int32_t x) const
{
    switch (m_BitsPerPixel) {
    case 8: return m_IndexIsInk[row[x]] != 0;
    case 24: {
        const uint8_t* p = row + static_cast<size_t>(x) * 3;
        return IsDark(p[2], p[1], p[0]);
    }
    case 32: {
        const uint8_t* p = row + static_cast<size_t>(x) * 4;
        return IsDark(p[2], p[1], p[0]);
    }
    case 4: return m_IndexIsInk[(row[x / 2] >> (x % 2 == 0 ? 4 : 0)) & 0x0F] != 0;
    default: return m_IndexIsInk[(row[x / 8] >> (7 - x % 8)) & 1] != 0;
    }
}

void InkMap::SampleRow(int32_t y, int32_t x0, int32_t step, int32_t count, uint8_t* out) const
{
    const uint8_t* row = Row(y);
    if (m_BitsPerPixel == 8) {
        for (int32_t i = 0; i < count; ++i) out[i] = m_IndexIsInk[row[x0 + i * step]];
        return;
    }
    if (m_BitsPerPixel == 24) {
        const uint8_t* p = row + static_cast<size_t>(x0) * 3;
        const size_t advance = static_cast<size_t>(step) * 3;
        for (int32_t i = 0; i < count; ++i, p += advance) out[i] = IsDark(p[2], p[1], p[0]) ? 1 : 0;
        return;
    }
    for (int32_t i = 0; i < count; ++i) out[i] = IsInkAt(row, x0 + i * step) ? 1 : 0;
}
