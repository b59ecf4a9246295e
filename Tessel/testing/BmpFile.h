#pragma once
// BMP files made in memory for the imaging tests.
#include <cstdint>
#include <vector>

#include "Dib.h"

namespace bmptest {
// Stores a little-endian field of 2 or 4 bytes.
inline void Put(std::vector<uint8_t>& b, size_t at, uint32_t v, int bytes = 4)
{
    for (int i = 0; i < bytes; ++i) b[at + size_t(i)] = (v >> (8 * i)) & 0xFF;
}

// A BMP file with a 40-byte info header and `colors` table entries (blue i,
// green 2i, red 255 - i); pixel bytes count up from `seed` in steps of 7, so
// that a copy can be checked.
inline std::vector<uint8_t> MakeBmp(int32_t width, int32_t height, uint16_t bits, uint32_t colors = 0,
                                    uint32_t clrUsed = 0, uint8_t seed = 1)
{
    const size_t offset = 14 + 40 + 4 * colors;
    const size_t image =
        static_cast<size_t>(DibStride(width, bits)) * static_cast<size_t>(height < 0 ? -height : height);
    std::vector<uint8_t> b(offset + image);
    Put(b, 0, 'B' | 'M' << 8, 2);
    Put(b, 2, static_cast<uint32_t>(b.size()));
    Put(b, 10, static_cast<uint32_t>(offset));
    Put(b, 14, 40);
    Put(b, 18, static_cast<uint32_t>(width));
    Put(b, 22, static_cast<uint32_t>(height));
    Put(b, 26, 1, 2);
    Put(b, 28, bits, 2);
    Put(b, 46, clrUsed);
    for (uint32_t i = 0; i < colors; ++i)
        Put(b, 14 + 40 + 4 * i, (i & 0xFF) | ((i * 2) & 0xFF) << 8 | ((255 - i) & 0xFF) << 16);
    for (size_t i = 0; i < image; ++i) b[offset + i] = static_cast<uint8_t>(i * 7 + seed);
    return b;
}
}  // namespace bmptest
