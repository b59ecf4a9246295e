#include "Dib.h"

#include <cstdlib>
#include <cstring>
#include <memory>

#include "SysUtils.h"

namespace {

// Pixel rows start at this alignment behind the object header.
constexpr size_t kBitsAlignment = 16;

size_t BitsOffset()
{
    return (sizeof(DibSectionObject) + kBitsAlignment - 1) / kBitsAlignment * kBitsAlignment;
}

bool IsSupportedDepth(uint16_t bits)
{
    return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

// Scales a masked channel to 8 bits; a zero mask gives 0.
struct Channel {
    uint32_t mask = 0;
    int shift = 0;
    uint32_t max = 0;

    explicit Channel(uint32_t m) : mask(m)
    {
        if (mask == 0) return;
        while (((mask >> shift) & 1u) == 0) ++shift;
        max = mask >> shift;
    }
    uint8_t Get(uint32_t pixel) const
    {
        if (max == 0) return 0;
        const uint64_t v = (pixel & mask) >> shift;
        return static_cast<uint8_t>(v * 255u / max);
    }
};

}  // namespace

int64_t DibStride(int32_t width, int32_t bitsPerPixel)
{
    if (width < 0 || bitsPerPixel < 0) return 0;
    const int64_t stride = ((static_cast<int64_t>(width) * bitsPerPixel + 31) & ~int64_t{31}) / 8;
    return stride > INT32_MAX ? 0 : stride;
}

HBITMAP CreateDibSection(int32_t width, int32_t height, uint16_t bitsPerPixel, uint32_t compression,
                         const RGBQUAD* colors, uint32_t colorCount, const uint32_t* bitfields)
{
    return ReuseDibSection(nullptr, width, height, bitsPerPixel, compression, colors, colorCount, bitfields);
}

HBITMAP ReuseDibSection(HBITMAP spare, int32_t width, int32_t height, uint16_t bitsPerPixel, uint32_t compression,
                        const RGBQUAD* colors, uint32_t colorCount, const uint32_t* bitfields)
{
    std::unique_ptr<DibSectionObject, DibDeleter> owned(spare);
    if (width <= 0 || width > kMaxDibDimension || height == 0 || height < -kMaxDibDimension ||
        height > kMaxDibDimension || !IsSupportedDepth(bitsPerPixel))
        return nullptr;
    if (compression != BI_RGB && !(compression == BI_BITFIELDS && (bitsPerPixel == 16 || bitsPerPixel == 32)))
        return nullptr;
    if (compression == BI_BITFIELDS && bitfields == nullptr) return nullptr;
    const uint32_t maxColors = bitsPerPixel <= 8 ? (1u << bitsPerPixel) : 0u;
    if (colorCount > maxColors || (colorCount > 0 && colors == nullptr)) return nullptr;

    const int32_t rows = height < 0 ? -height : height;
    const auto stride = static_cast<size_t>(DibStride(width, bitsPerPixel));
    const size_t imageBytes = stride * static_cast<size_t>(rows);
    if (imageBytes > kMaxDibImageBytes) return nullptr;

    uint8_t* block = nullptr;
    size_t capacity = imageBytes;
    if (owned && owned->capacity >= imageBytes) {
        capacity = owned->capacity;
        block = reinterpret_cast<uint8_t*>(owned.release());
        std::memset(block, 0, sizeof(DibSectionObject));
    } else {
        owned.reset();
        block = static_cast<uint8_t*>(AllocateZeroed(BitsOffset() + imageBytes));
        if (block == nullptr) return nullptr;
    }
    auto* dib = reinterpret_cast<DibSectionObject*>(block);
    BITMAP& bm = dib->ds.dsBm;
    bm.bmWidth = width;
    bm.bmHeight = rows;
    bm.bmWidthBytes = static_cast<int32_t>(stride);
    bm.bmPlanes = 1;
    bm.bmBitsPixel = bitsPerPixel;
    bm.bmBits = block + BitsOffset();
    BITMAPINFOHEADER& bih = dib->ds.dsBmih;
    bih.biSize = sizeof(BITMAPINFOHEADER);
    bih.biWidth = width;
    bih.biHeight = height;
    bih.biPlanes = 1;
    bih.biBitCount = bitsPerPixel;
    bih.biCompression = compression;
    bih.biSizeImage = static_cast<uint32_t>(imageBytes);
    bih.biClrUsed = colorCount == maxColors ? 0 : colorCount;
    if (compression == BI_BITFIELDS) std::memcpy(dib->ds.dsBitfields, bitfields, sizeof(dib->ds.dsBitfields));
    dib->colorCount = colorCount;
    if (colorCount > 0) std::memcpy(dib->colors, colors, colorCount * sizeof(RGBQUAD));
    dib->imageBytes = imageBytes;
    dib->capacity = capacity;
    return dib;
}

int GetObjectA(HBITMAP hBitmap, int size, void* out)
{
    if (hBitmap == nullptr || out == nullptr) return 0;
    if (size == static_cast<int>(sizeof(BITMAP))) {
        std::memcpy(out, &hBitmap->ds.dsBm, sizeof(BITMAP));
        return size;
    }
    if (size >= static_cast<int>(sizeof(DIBSECTION))) {
        std::memcpy(out, &hBitmap->ds, sizeof(DIBSECTION));
        return static_cast<int>(sizeof(DIBSECTION));
    }
    return 0;
}

uint32_t GetDIBColorTable(HBITMAP hBitmap, uint32_t start, uint32_t count, RGBQUAD* out)
{
    if (hBitmap == nullptr || out == nullptr || start >= hBitmap->colorCount) return 0;
    const uint32_t n = count < hBitmap->colorCount - start ? count : hBitmap->colorCount - start;
    std::memcpy(out, hBitmap->colors + start, n * sizeof(RGBQUAD));
    return n;
}

int32_t GetDIBitsRgb24(HBITMAP hBitmap, uint8_t* dst, size_t dstSize)
{
    if (hBitmap == nullptr || dst == nullptr) return 0;
    const BITMAP& bm = hBitmap->ds.dsBm;
    const auto dstStride = static_cast<size_t>(DibStride(bm.bmWidth, 24));
    const auto rows = static_cast<size_t>(bm.bmHeight);
    if (dstStride == 0 || dstSize / dstStride < rows) return 0;

    const uint16_t bits = bm.bmBitsPixel;
    uint32_t masks[3] = {0x7C00u, 0x03E0u, 0x001Fu};
    if (bits == 32) {
        masks[0] = 0xFF0000u;
        masks[1] = 0x00FF00u;
        masks[2] = 0x0000FFu;
    }
    if (hBitmap->ds.dsBmih.biCompression == BI_BITFIELDS) std::memcpy(masks, hBitmap->ds.dsBitfields, sizeof(masks));
    const Channel red(masks[0]), green(masks[1]), blue(masks[2]);
    const RGBQUAD black{};

    const auto* src = static_cast<const uint8_t*>(bm.bmBits);
    const auto width = static_cast<size_t>(bm.bmWidth);
    for (size_t r = 0; r < rows; ++r) {
        const uint8_t* s = src + r * static_cast<size_t>(bm.bmWidthBytes);
        uint8_t* d = dst + r * dstStride;
        std::memset(d, 0, dstStride);
        for (size_t x = 0; x < width; ++x, d += 3) {
            if (bits <= 8) {
                const size_t bit = x * bits;
                const unsigned index = (s[bit / 8] >> (8 - bits - bit % 8)) & ((1u << bits) - 1u);
                const RGBQUAD& c = index < hBitmap->colorCount ? hBitmap->colors[index] : black;
                d[0] = c.rgbBlue;
                d[1] = c.rgbGreen;
                d[2] = c.rgbRed;
            } else if (bits == 24) {
                std::memcpy(d, s + x * 3, 3);
            } else {
                uint32_t p = 0;
                if (bits == 16)
                    p = static_cast<uint32_t>(s[x * 2]) | static_cast<uint32_t>(s[x * 2 + 1]) << 8;
                else
                    p = static_cast<uint32_t>(s[x * 4]) | static_cast<uint32_t>(s[x * 4 + 1]) << 8 |
                        static_cast<uint32_t>(s[x * 4 + 2]) << 16 | static_cast<uint32_t>(s[x * 4 + 3]) << 24;
                d[0] = blue.Get(p);
                d[1] = green.Get(p);
                d[2] = red.Get(p);
            }
        }
    }
    return bm.bmHeight;
}

bool DeleteObject(HBITMAP hBitmap)
{
    std::free(hBitmap);
    return true;
}
