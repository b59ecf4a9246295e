#pragma once
#include <cstdint>
#include <vector>

#include "Dib.h"

// Read-only view of a page section whose header has been checked against its
// own pixel memory, answering "is this pixel ink?" with rows counted from the
// top of the page as it is seen.
class InkMap {
public:
    // Invalid (IsValid false) for a null handle or a header that does not
    // describe memory the section can hold; nothing is read through it then.
    explicit InkMap(HBITMAP page);

    bool IsValid() const { return m_Valid; }
    int32_t Width() const { return m_Width; }
    int32_t Height() const { return m_Height; }

    // x and y must lie on the page.
    bool IsInk(int32_t x, int32_t y) const { return IsInkAt(Row(y), x); }

    // Ink flags of the pixels x0, x0 + step, ... (count of them) on page row y.
    void SampleRow(int32_t y, int32_t x0, int32_t step, int32_t count, uint8_t* out) const;

private:
    const uint8_t* Row(int32_t y) const
    {
        const int32_t stored = m_BottomUp ? m_Height - 1 - y : y;
        return m_Bits + static_cast<size_t>(stored) * static_cast<size_t>(m_Stride);
    }
    bool IsInkAt(const uint8_t* row, int32_t x) const;

    bool m_Valid = false;
    bool m_BottomUp = false;
    int32_t m_Width = 0;
    int32_t m_Height = 0;
    int32_t m_Stride = 0;
    int32_t m_BitsPerPixel = 0;
    const uint8_t* m_Bits = nullptr;
    uint8_t m_IndexIsInk[256] = {};  // palette pages: per colour index
};
