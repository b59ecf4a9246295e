#pragma once
#include <cstddef>
#include <cstdint>

#include "Dib.h"

// Read access to the pixels of a packed DIB (header, colour table) whose rows
// lie at a separate address, as StretchDIBits receives them. The header is
// checked before any row is touched; pixels come out as 0x00RRGGBB.
class DibRaster {
public:
    // False (logged) for a header this reader cannot take: not BI_RGB, a
    // depth other than 1, 4, 8, 24 or 32, sizes out of the DIB limits.
    bool Attach(const BITMAPINFOHEADER* info, const void* bits);
    int32_t GetWidth() const { return m_iWidth; }
    int32_t GetHeight() const { return m_iHeight; }
    // One row of the area that starts at column x, counting rows from the top.
    void ReadRow(int32_t x, int32_t rowFromTop, int32_t count, uint32_t* out) const;
    // Depths of 8 bits and less: pixels are indices into Palette(), whose
    // entries past the colour table are black.
    bool IsIndexed() const { return m_iBitCount <= 8; }
    const uint32_t* Palette() const { return m_palette; }
    int PaletteSize() const { return 1 << (IsIndexed() ? m_iBitCount : 0); }
    // Like ReadRow, as palette indices; for indexed depths only.
    void ReadIndices(int32_t x, int32_t rowFromTop, int32_t count, uint8_t* out) const;
    // An 8-bit row's indices where they lie, from column x: no copy needed.
    const uint8_t* IndexRow(int32_t x, int32_t rowFromTop) const { return Row(rowFromTop) + x; }
    bool HasByteIndices() const { return m_iBitCount == 8; }

private:
    const uint8_t* Row(int32_t rowFromTop) const;

    const uint8_t* m_pBits = nullptr;
    int64_t m_iStride = 0;
    int32_t m_iWidth = 0;
    int32_t m_iHeight = 0;
    bool m_bTopDown = false;
    uint16_t m_iBitCount = 0;
    uint32_t m_palette[256] = {};
};
