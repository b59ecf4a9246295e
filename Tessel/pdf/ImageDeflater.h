#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

// A zlib stream of image rows, made for printed pages: an enlarged page
// repeats whole rows and runs of equal bytes, a thinned one the pattern's
// rows, which a general compressor finds only after hashing every byte.
// Each place in a row is matched against a run, then the rows 1, 2, 4 and
// 8 above (an enlarged row, a thinning pattern's period), then the last
// place the same six bytes were seen (one probe of a small table, as text
// repeats its letters anywhere), and last a few short distances: each only
// while none before it agrees on eight bytes. Byte strings are compared
// eight bytes at a time, every candidate without a branch on its first
// byte; the matches and literals are coded with Huffman codes made for each
// block of the image, a repeated row's pieces counted and kept as one run.
// The checksum of a repeated row is combined from the row's own, never
// summed again.
//
// A page enlarged twice across doubles every pixel: its rows can come as
// their source rows, and matches are then found on those (half the bytes to
// compare) and coded at twice their length and distance.
class ImageDeflater {
public:
    // Rows above the current one that matches may reach (within 32 KiB).
    static constexpr size_t kRowsKept = 8;

    ImageDeflater() = default;
    // Starts a stream at once, as Start does.
    explicit ImageDeflater(size_t rowBytes, unsigned doubledBits = 0) { Start(rowBytes, doubledBits); }
    ImageDeflater(const ImageDeflater&) = delete;
    ImageDeflater& operator=(const ImageDeflater&) = delete;

    // Starts a new stream of rows of `rowBytes` bytes each (at least 1),
    // dropping what is left of the last one. The memory stays: one deflater
    // serves page after page without allocating again. With `doubledBits`
    // (1, 2, 4 or 8), the rows are pixels of that many bits each doubled
    // across, and every row given is the row before doubling, (rowBytes + 1)
    // / 2 bytes: an odd `rowBytes` leaves out the last doubled byte, which
    // must then be padding only (never with 8 bits, where it is refused).
    void Start(size_t rowBytes, unsigned doubledBits = 0);
    // Starts a band: a piece of a stream whose header and checksum the caller
    // writes, so that the bands of one image can be compressed at once.
    void StartBand(size_t rowBytes, unsigned doubledBits = 0);
    // A row before the band, which matches may refer to; it is not coded.
    void Prime(const uint8_t* row);
    void AddRow(const uint8_t* row);
    // Where the next row goes: a row packed here is added without a copy.
    uint8_t* RowSpace() { return NextRowSpace(); }
    // Adds the last row added again, as the enlargement repeats it; there must be one.
    void RepeatRow();
    // Ends a band. The last one ends the stream; any other ends on a byte
    // boundary, where the next band's output follows.
    void EndBand(bool last);
    // Ends the stream, the checksum included; no row may follow until the next Start.
    void Finish();
    // Adler-32 of the rows added since the start.
    uint32_t Checksum() const { return m_adler; }
    // The compressed bytes made so far; the caller takes them away with ClearOutput.
    std::span<const uint8_t> Output() const { return {m_out.data(), m_outPos}; }
    void ClearOutput() { m_outPos = 0; }
    // Makes the compressed bytes from now on in `room`'s memory (a band's
    // own, kept from image to image at the size it needed), dropping any not
    // taken; TakeOutput hands it back.
    void WriteInto(std::vector<uint8_t>& room);
    // Hands the compressed bytes made so far over without a copy: they become
    // the first of `into`'s (the count is returned, the rest is room), and
    // the memory `into` had becomes this deflater's room for more.
    size_t TakeOutput(std::vector<uint8_t>& into);

private:
    static constexpr size_t kBlockTokens = size_t{1} << 16;
    // Rows added between two moves of the kept rows to the window's front:
    // at least this many, and as many more as fill this many bytes, so that
    // short rows are moved seldom.
    static constexpr size_t kWindowRows = 56;
    static constexpr size_t kWindowBytes = size_t{256} << 10;

    // Where the next row goes in the window, making room for it.
    uint8_t* NextRowSpace();
    struct Found {
        size_t length = 0;  // 0: nothing worth a match
        size_t distance = 0;
    };
    // The best match for the bytes at cur[at] (`history` bytes before it
    // may be reached) among a run, the rows above, a few near places and
    // the last place the same four bytes were seen.
    template <bool Doubled>
    Found FindMatch(const uint8_t* cur, size_t at, size_t history);
    // Codes the row at `cur`, the window's end, given before doubling.
    void AddDoubledRow(const uint8_t* cur);
    // The row at `cur` doubled into m_doubledRow.
    void Double(const uint8_t* cur);
    // Counts the row at the window's end as coded.
    void EndRow();
    void Literal(uint8_t byte);
    void Match(size_t length, size_t distance);
    void WriteBlock(bool last);
    // Makes room for `bytes` more output; PutBits and DrainBits write
    // at m_outPos, inside room made beforehand.
    void MakeRoom(size_t bytes);
    void PutBits(uint32_t value, unsigned count);
    void DrainBits();

    size_t m_rowBytes = 1;  // of a coded row
    size_t m_inBytes = 1;   // of a row given, and of the window's rows
    unsigned m_doubledBits = 0;
    // The two bytes each byte of a row given becomes when its pixels are doubled.
    std::array<std::array<uint8_t, 2>, 256> m_doubled{};
    std::vector<uint8_t> m_doubledRow;  // for the checksum, which is of the coded bytes
    // The rows given so far (the last kRowsKept of them at least) followed by
    // the row being coded, so that every distance is a plain step back in
    // one array.
    std::vector<uint8_t> m_window;
    size_t m_used = 0;
    uint64_t m_base = 0;  // place of the window's first byte, counted on from band to band
    // Where each hash of the bytes at a place was last seen, as the low 32 bits of m_base's count.
    static constexpr unsigned kHashBits = 14;
    std::vector<uint32_t> m_lastSeen;
    uint32_t m_adler = 1;
    uint32_t m_rowAdler = 1;  // of the last row coded
    bool m_bRowAdlerKnown = false;
    bool m_bAboveRepeats = false;    // whether the last row coded repeats the one before it
    std::vector<uint32_t> m_tokens;  // its size is the room made; m_tokenCount are this block's
    size_t m_tokenCount = 0;
    std::array<uint32_t, 286> m_litFreq{};
    std::array<uint32_t, 30> m_distFreq{};
    uint64_t m_bits = 0;
    unsigned m_bitCount = 0;
    bool m_bFinished = true;
    std::vector<uint8_t> m_out;  // its size is the room made; m_outPos bytes are output
    size_t m_outPos = 0;
};
