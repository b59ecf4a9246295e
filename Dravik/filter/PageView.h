#pragma once
#include <cstddef>
#include <cstdint>

// The pixels of a page whose geometry the filter has checked: rows of
// `stride` bytes, `bytesPerPixel` of 1, 3 or 4, stored bottom row first
// when bottomUp. grey gives the brightness (0 black, 255 white) of each
// one-byte pixel value.
struct PageView {
    uint8_t* bits;
    int32_t width;
    int32_t height;
    int32_t stride;
    int32_t bytesPerPixel;
    bool bottomUp;
    const uint8_t* grey;

    // Stored row of page row y (counted from the top edge).
    int32_t StoredRow(int32_t y) const { return bottomUp ? height - 1 - y : y; }
    uint8_t* Row(int32_t storedRow) const
    {
        return bits + static_cast<size_t>(storedRow) * static_cast<size_t>(stride);
    }
    // Brightness of pixel x of a stored row.
    uint8_t Grey(const uint8_t* row, int32_t x) const
    {
        const uint8_t* p = row + static_cast<size_t>(x) * static_cast<size_t>(bytesPerPixel);
        if (bytesPerPixel == 1) return grey[p[0]];
        return static_cast<uint8_t>((p[0] * 29 + p[1] * 150 + p[2] * 77) >> 8);  // blue, green, red
    }
};
