#include "DibRaster.h"

#include <cstring>

#include "Log.h"

namespace {
// The longest info header there is; the colour table follows the header,
// so a larger size would send the table reads anywhere.
constexpr uint32_t kMaxInfoHeaderBytes = 124;
}  // namespace

bool DibRaster::Attach(const BITMAPINFOHEADER* info, const void* bits)
{
    if (!info || !bits) {
        LogMessage(2, "StretchDIBits without bitmap header or bits.\r\n");
        return false;
    }
    BITMAPINFOHEADER h;
    memcpy(&h, info, sizeof h);
    const uint16_t depth = h.biBitCount;
    const bool depthOk = depth == 1 || depth == 4 || depth == 8 || depth == 24 || depth == 32;
    const int64_t height = h.biHeight < 0 ? -static_cast<int64_t>(h.biHeight) : h.biHeight;
    if (h.biSize < sizeof h || h.biSize > kMaxInfoHeaderBytes || h.biCompression != BI_RGB || !depthOk ||
        h.biWidth <= 0 || height == 0 || h.biWidth > kMaxDibDimension || height > kMaxDibDimension) {
        LogMessage(2, "StretchDIBits refuses bitmap %d x %d, %u bits, compression %u.\r\n", h.biWidth, h.biHeight,
                   static_cast<unsigned>(depth), h.biCompression);
        return false;
    }
    const int64_t stride = DibStride(h.biWidth, depth);
    if (stride <= 0 || static_cast<uint64_t>(stride * height) > kMaxDibImageBytes) {
        LogMessage(2, "StretchDIBits refuses bitmap of %d x %d pixels (too large).\r\n", h.biWidth, h.biHeight);
        return false;
    }
    memset(m_palette, 0, sizeof m_palette);
    if (depth <= 8) {
        const uint32_t full = 1u << depth;
        const uint32_t count = h.biClrUsed == 0 || h.biClrUsed > full ? full : h.biClrUsed;
        const auto* table = reinterpret_cast<const uint8_t*>(info) + h.biSize;
        for (uint32_t i = 0; i < count; ++i) {
            RGBQUAD q;
            memcpy(&q, table + i * sizeof q, sizeof q);
            m_palette[i] = (uint32_t{q.rgbRed} << 16) | (uint32_t{q.rgbGreen} << 8) | q.rgbBlue;
        }
    }
    m_pBits = static_cast<const uint8_t*>(bits);
    m_iStride = stride;
    m_iWidth = h.biWidth;
    m_iHeight = static_cast<int32_t>(height);
    m_bTopDown = h.biHeight < 0;
    m_iBitCount = depth;
    return true;
}

const uint8_t* DibRaster::Row(int32_t rowFromTop) const
{
    const int32_t stored = m_bTopDown ? rowFromTop : m_iHeight - 1 - rowFromTop;
    return m_pBits + stored * m_iStride;
}

void DibRaster::ReadIndices(int32_t x, int32_t rowFromTop, int32_t count, uint8_t* out) const
{
    const uint8_t* row = Row(rowFromTop);
    switch (m_iBitCount) {
    case 1:
        for (int32_t i = 0, c = x; i < count; ++i, ++c) out[i] = (row[c >> 3] >> (7 - (c & 7))) & 1;
        break;
    case 4:
        for (int32_t i = 0, c = x; i < count; ++i, ++c) out[i] = (row[c >> 1] >> ((c & 1) ? 0 : 4)) & 0xF;
        break;
    case 8: memcpy(out, row + x, static_cast<size_t>(count)); break;
    default: break;
    }
}

void DibRaster::ReadRow(int32_t x, int32_t rowFromTop, int32_t count, uint32_t* out) const
{
    const uint8_t* row = Row(rowFromTop);
    for (int32_t i = 0; i < count; ++i) {
        const int32_t c = x + i;
        switch (m_iBitCount) {
        case 1: out[i] = m_palette[(row[c >> 3] >> (7 - (c & 7))) & 1]; break;
        case 4: out[i] = m_palette[(row[c >> 1] >> ((c & 1) ? 0 : 4)) & 0xF]; break;
        case 8: out[i] = m_palette[row[c]]; break;
        case 24: {
            const uint8_t* p = row + c * 3;
            out[i] = (uint32_t{p[2]} << 16) | (uint32_t{p[1]} << 8) | p[0];
            break;
        }
        default: {
            const uint8_t* p = row + c * 4;
            out[i] = (uint32_t{p[2]} << 16) | (uint32_t{p[1]} << 8) | p[0];
            break;
        }
        }
    }
}
