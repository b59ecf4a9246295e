#include "ImageRows.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "ByteLanes.h"
#include "ColourIndex.h"

namespace {
// Palette indices of the placed pixels (source indices through `map`),
// packed big-endian, Bits each, rows padded to whole bytes. Whole bytes are
// packed apart from the tail so that the compiler can unroll them.
template <int Bits, bool Mapped>
void PackIndicesAs(const uint8_t* indices, const uint8_t* map, const std::vector<int32_t>& columns, uint8_t* out)
{
    constexpr size_t perByte = 8 / Bits;
    const auto at = [&](size_t i) -> unsigned {
        const uint8_t index = indices[columns[i]];
        return Mapped ? map[index] : index;
    };
    const size_t width = columns.size();
    const size_t whole = width / perByte * perByte;
    size_t i = 0;
    for (; i < whole; i += perByte) {
        unsigned byte = 0;
        for (size_t n = 0; n < perByte; ++n) byte = (byte << Bits) | at(i + n);
        *out++ = static_cast<uint8_t>(byte);
    }
    if (i < width) {
        unsigned byte = 0;
        for (size_t n = 0; n < perByte; ++n) byte = (byte << Bits) | (i + n < width ? at(i + n) : 0u);
        *out = static_cast<uint8_t>(byte);
    }
}

template <bool Mapped>
void PackIndices(const uint8_t* indices, const uint8_t* map, const std::vector<int32_t>& columns, int bits,
                 uint8_t* out)
{
    switch (bits) {
    case 1: PackIndicesAs<1, Mapped>(indices, map, columns, out); break;
    case 2: PackIndicesAs<2, Mapped>(indices, map, columns, out); break;
    case 4: PackIndicesAs<4, Mapped>(indices, map, columns, out); break;
    default: PackIndicesAs<8, Mapped>(indices, map, columns, out); break;
    }
}

// 8-bit indices enlarged a whole number of times: each repeated `scale`
// times, without a column lookup per byte.
void RepeatBytes(const uint8_t* indices, size_t count, size_t scale, uint8_t* out)
{
    if (scale == 1) {
        std::memcpy(out, indices, count);
    } else {
        for (size_t i = 0; i < count; ++i)
            for (size_t n = 0; n < scale; ++n) *out++ = indices[i];
    }
}

// Indices (through `map`) packed Bits each without enlarging. Eight pixels
// make Bits bytes; eight that repeat the eight before (white paper, mostly)
// repeat their bytes without packing them again.
template <int Bits, bool Mapped>
void PackSourceAs(const uint8_t* indices, const uint8_t* map, size_t count, uint8_t* out)
{
    constexpr size_t perByte = 8 / Bits;
    const auto at = [&](size_t i) -> unsigned { return Mapped ? map[indices[i]] : indices[i]; };
    const auto pack = [&](size_t first, size_t pixels, uint8_t* bytes) {
        for (size_t b = 0; b * perByte < pixels; ++b) {
            unsigned byte = 0;
            for (size_t n = 0; n < perByte; ++n) {
                const size_t i = b * perByte + n;
                byte = (byte << Bits) | (i < pixels ? at(first + i) : 0u);
            }
            bytes[b] = static_cast<uint8_t>(byte);
        }
    };
    size_t i = 0;
    uint64_t previous = 0;
    uint8_t group[Bits] = {};
    for (; i + 8 <= count; i += 8) {
        uint64_t eight;
        std::memcpy(&eight, indices + i, 8);
        if (i == 0 || eight != previous) {
            previous = eight;
            pack(i, 8, group);
        }
        std::memcpy(out, group, Bits);
        out += Bits;
    }
    if (i < count) pack(i, count - i, out);
}

template <bool Mapped>
void PackSource(const uint8_t* indices, const uint8_t* map, size_t count, int bits, uint8_t* out)
{
    switch (bits) {
    case 1: PackSourceAs<1, Mapped>(indices, map, count, out); break;
    case 2: PackSourceAs<2, Mapped>(indices, map, count, out); break;
    case 4: PackSourceAs<4, Mapped>(indices, map, count, out); break;
    default:
        if (Mapped)
            PackSourceAs<8, true>(indices, map, count, out);
        else
            std::memcpy(out, indices, count);
        break;
    }
}

void PackRgb(const uint32_t* pixels, const std::vector<int32_t>& columns, uint8_t* out)
{
    for (const int32_t column : columns) {
        const uint32_t colour = pixels[column];
        *out++ = static_cast<uint8_t>(colour >> 16);
        *out++ = static_cast<uint8_t>(colour >> 8);
        *out++ = static_cast<uint8_t>(colour);
    }
}
}  // namespace

// One-bit pixels where a single entry is pixel 1 (black and white pages):
// eight indices are compared with it at once and their bits gathered into a
// byte by a multiplication, without a lookup a pixel.
void ImageRows::PackOnes(const uint8_t* indices, size_t count, uint8_t one, uint8_t* out)
{
    const uint64_t ones = 0x0101010101010101ull * one;
    size_t i = 0;
#if defined(__SSE2__)
    // Sixteen at a time where the processor compares them at once: its mask
    // has the first pixel lowest, so each byte of it is turned round.
    static constexpr std::array<uint8_t, 256> kTurned = [] {
        std::array<uint8_t, 256> turned{};
        for (unsigned byte = 0; byte < 256; ++byte)
            for (unsigned bit = 0; bit < 8; ++bit)
                if (byte & (1u << bit)) turned[byte] |= static_cast<uint8_t>(0x80u >> bit);
        return turned;
    }();
    const __m128i sixteen = _mm_set1_epi8(static_cast<char>(one));
    for (; i + 16 <= count; i += 16) {
        const unsigned mask = bytelanes::EqualMask16(indices + i, sixteen);
        *out++ = kTurned[mask & 0xFF];
        *out++ = kTurned[mask >> 8];
    }
#endif
    for (; i + 8 <= count; i += 8) {
        uint64_t word;
        std::memcpy(&word, indices + i, 8);
        *out++ = bytelanes::FirstHighest(bytelanes::ZeroBytes(word ^ ones));
    }
    if (i < count) {
        unsigned byte = 0;
        for (size_t n = 0; n < 8; ++n) byte = (byte << 1) | (i + n < count && indices[i + n] == one ? 1u : 0u);
        *out = static_cast<uint8_t>(byte);
    }
}

int32_t ImageRows::NearestSource(int32_t placed, int32_t sourceCount, int32_t placedCount)
{
    return static_cast<int32_t>((2 * static_cast<int64_t>(placed) + 1) * sourceCount /
                                (2 * static_cast<int64_t>(placedCount)));
}

ImageRows::ImageRows(const PdfStream::Source& source, int32_t height, const std::vector<int32_t>& columns,
                     const ColourIndex& colours, const uint8_t* paletteMap, bool ownPalette, const uint8_t* packedRows)
    : m_source(&source), m_height(height), m_columns(&columns), m_colours(&colours), m_paletteMap(paletteMap),
      m_bOwnPalette(ownPalette), m_packedRows(packedRows)
{
    const bool rgb = colours.IsFull();
    m_bits = rgb || ownPalette ? (rgb ? 24 : 8) : colours.BitsPerIndex();
    const auto srcWidth = static_cast<size_t>(source.width);
    m_wholeScale = columns.size() % srcWidth == 0 ? columns.size() / srcWidth : 0;
    m_pixels.resize(paletteMap ? 0 : srcWidth);
    m_indices.resize(rgb ? 0 : srcWidth);
    m_packed.resize((columns.size() * static_cast<size_t>(m_bits) + 7) / 8);
    // A source row of x bits packs into (x + 7) / 8 bytes and doubled into
    // (2x + 7) / 8: twice as many, or one fewer where the last doubled byte
    // would hold padding only (never with 8 bits), as the coder takes them.
    if (m_wholeScale == 2 && m_bits <= 8) m_doubledBits = static_cast<unsigned>(m_bits);
    if (m_bits != 1) return;
    if (!paletteMap) {
        m_oneEntry = 1;  // indices of the colours themselves
        return;
    }
    for (size_t entry = 0; entry < ColourIndex::kMaxColours; ++entry) {
        if (paletteMap[entry] != 1) continue;
        if (m_oneEntry >= 0) {
            m_oneEntry = -1;  // several entries are pixel 1
            return;
        }
        m_oneEntry = static_cast<int>(entry);
    }
}

const uint8_t* ImageRows::Row(int32_t row)
{
    const int32_t srcRow = SourceRow(row);
    m_bRepeated = srcRow == m_lastSourceRow;
    if (m_bRepeated) return m_packed.data();
    m_lastSourceRow = srcRow;
    Pack(srcRow, m_packed.data());
    return m_packed.data();
}

void ImageRows::PackRow(int32_t row, uint8_t* out)
{
    const int32_t srcRow = SourceRow(row);
    PrefetchAfter(row, srcRow);
    Pack(srcRow, out);
}

void ImageRows::PackSourceRow(int32_t row, uint8_t* out)
{
    const int32_t srcRow = SourceRow(row);
    PrefetchAfter(row, srcRow);
    if (m_packedRows) {
        const size_t bytes = (m_indices.size() + 7) / 8;
        std::memcpy(out, m_packedRows + static_cast<size_t>(srcRow) * bytes, bytes);
        return;
    }
    PackUnscaled(SourceIndices(srcRow), out);
}

void ImageRows::PackUnscaled(const uint8_t* indices, uint8_t* out)
{
    if (m_oneEntry >= 0)
        PackOnes(indices, m_indices.size(), static_cast<uint8_t>(m_oneEntry), out);
    else if (m_paletteMap && !m_bOwnPalette)
        PackSource<true>(indices, m_paletteMap, m_indices.size(), m_bits, out);
    else
        PackSource<false>(indices, nullptr, m_indices.size(), m_bits, out);
}

void ImageRows::PrefetchAfter(int32_t row, int32_t srcRow) const
{
    if (!m_source->indexRow || m_packedRows) return;
    // Enlarged, the next row's source is this one again or the one below.
    const int32_t next = std::max(SourceRow(std::min(row + 1, m_height - 1)), srcRow + 1);
    if (next >= m_source->height) return;
    const uint8_t* bytes = m_source->indexRow(next);
    const size_t width = m_indices.size();
    for (size_t at = 0; at < width; at += kCacheLine) __builtin_prefetch(bytes + at);
}

const uint8_t* ImageRows::SourceIndices(int32_t srcRow)
{
    if (m_paletteMap) return m_source->Indices(srcRow, m_indices.data());
    m_source->readRow(srcRow, m_pixels.data());
    if (m_bits == 24) return nullptr;
    // Neighbours mostly share a colour: look up only changes.
    uint32_t previous = 0xFFFFFFFFu;
    uint8_t index = 0;
    for (size_t i = 0; i < m_indices.size(); ++i) {
        if (m_pixels[i] != previous) index = m_colours->IndexOf(previous = m_pixels[i]);
        m_indices[i] = index;
    }
    return m_indices.data();
}

void ImageRows::Pack(int32_t srcRow, uint8_t* out)
{
    const size_t srcWidth = m_indices.size();
    if (m_packedRows && m_wholeScale == 1) {
        std::memcpy(out, m_packedRows + static_cast<size_t>(srcRow) * m_packed.size(), m_packed.size());
        return;
    }
    const uint8_t* indices = SourceIndices(srcRow);
    if (m_bits == 24)
        PackRgb(m_pixels.data(), *m_columns, out);
    else if (m_wholeScale == 1)
        PackUnscaled(indices, out);
    else if (m_paletteMap && !m_bOwnPalette)
        PackIndices<true>(indices, m_paletteMap, *m_columns, m_bits, out);
    else if (m_bits == 8 && m_wholeScale > 0)
        RepeatBytes(indices, srcWidth, m_wholeScale, out);
    else
        PackIndices<false>(indices, nullptr, *m_columns, m_bits, out);
}
