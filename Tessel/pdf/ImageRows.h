#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "PdfStream.h"

class ColourIndex;

// The rows of a placed image as the PDF stores them: the source pixel under
// each placed pixel (nearest neighbour), as palette indices or RGB, packed
// into whole bytes. Each copy has its own row buffers, so the bands of one
// image can be packed on several threads at once.
class ImageRows {
public:
    // Source column or row for each of `placedCount` placed pixels: the one under the pixel's centre.
    static int32_t NearestSource(int32_t placed, int32_t sourceCount, int32_t placedCount);

    // `count` indices packed a bit each, big-endian, the last byte padded
    // with 0: 1 where an index is `one`.
    static void PackOnes(const uint8_t* indices, size_t count, uint8_t one, uint8_t* out);

    // paletteMap maps an indexed source's entries to `colours` (null for an
    // RGB source); ownPalette stores an 8-bit source's indices as they are.
    // packedRows, where not null, holds a one-bit image's source rows
    // already packed, (width + 7) / 8 bytes each, read instead of the source.
    ImageRows(const PdfStream::Source& source, int32_t height, const std::vector<int32_t>& columns,
              const ColourIndex& colours, const uint8_t* paletteMap, bool ownPalette, const uint8_t* packedRows);

    size_t RowBytes() const { return m_packed.size(); }
    // Placed row `row`, packed; valid until the next call.
    const uint8_t* Row(int32_t row);
    // Whether the last Row call gave the same bytes as the call before it
    // (the enlargement repeated a source row).
    bool Repeated() const { return m_bRepeated; }
    // The source row under placed row `row`: placed rows with the same one have the same bytes.
    int32_t SourceRow(int32_t row) const { return NearestSource(row, m_source->height, m_height); }
    // Placed row `row`, packed into `out` (RowBytes bytes), where a compressor wants it.
    void PackRow(int32_t row, uint8_t* out);
    // Bits of a pixel when every placed row is its source row packed at that
    // depth with each pixel doubled (the last doubled byte left out where
    // it holds only padding); 0 otherwise.
    unsigned DoubledBits() const { return m_doubledBits; }
    // Where DoubledBits is not 0: the source row under placed row `row`,
    // packed at that depth before doubling, into `out` ((RowBytes + 1) / 2 bytes).
    void PackSourceRow(int32_t row, uint8_t* out);

private:
    static constexpr size_t kCacheLine = 64;

    // Asks the processor to fetch the source row that comes after placed row
    // `row` (from source row `srcRow`) where the source lends its rows: a
    // rendered page is mostly out of the caches, and the row arrives while
    // this one is coded.
    void PrefetchAfter(int32_t row, int32_t srcRow) const;
    void Pack(int32_t srcRow, uint8_t* out);
    // A row of source indices packed at the image's depth, one pixel a column.
    void PackUnscaled(const uint8_t* indices, uint8_t* out);
    // Row `srcRow` of the source as indices (null for a full-colour one, read into m_pixels).
    const uint8_t* SourceIndices(int32_t srcRow);

    const PdfStream::Source* m_source;
    int32_t m_height;
    const std::vector<int32_t>* m_columns;
    const ColourIndex* m_colours;
    const uint8_t* m_paletteMap;
    bool m_bOwnPalette;
    const uint8_t* m_packedRows;
    int m_bits;
    // Nearest neighbour repeats every column this many times (0: not a whole multiple).
    size_t m_wholeScale;
    unsigned m_doubledBits = 0;
    // At one bit a pixel, the one source index that is pixel 1 (-1: none or several).
    int m_oneEntry = -1;
    std::vector<uint32_t> m_pixels;
    std::vector<uint8_t> m_indices;
    std::vector<uint8_t> m_packed;
    int32_t m_lastSourceRow = -1;
    bool m_bRepeated = false;
};
