#include "ImageDeflater.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <bit>
#include <cstring>

namespace {
constexpr size_t kMinMatch = 3;
constexpr size_t kMaxMatch = 258;
constexpr size_t kMaxDistance = 32768;
// A match with a row above, or with bytes found through the table of
// places seen, carries a long distance code: shorter ones cost more than
// the literals they replace.
constexpr size_t kMinFarMatch = 6;
// Short distances tried while nothing agrees on eight bytes: dither
// patterns and enlarged pixel pairs repeat within a few bytes.
constexpr size_t kShortDistances[] = {2, 4, 5, 8, 10, 20};
// The same on rows given before doubling, in their own bytes: each byte
// stands for two coded ones, so that the shortest useful match is two bytes
// and the far ones three.
constexpr size_t kMinHalfMatch = 2;
constexpr size_t kMinFarHalfMatch = 3;
constexpr size_t kShortHalfDistances[] = {2, 4, 5, 10};
// Bytes whose last place is looked up: six, so that the table mostly gives
// long matches; the rows above and the near places find the short ones.
constexpr size_t kHashedBytes = 6;
constexpr unsigned kEndOfBlock = 256;
// A token is a literal byte, or a match: this flag, the distance's code
// (bits 25 to 29), the length (bits 16 to 24) and the distance less one.
// With the run flag too, the match is repeated as many times as the next
// token says (the longest pieces of a long match: a repeated row).
constexpr uint32_t kMatchFlag = 0x80000000u;
constexpr uint32_t kRunFlag = 0x40000000u;
constexpr unsigned kDistCodeShift = 25;

constexpr uint16_t kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                      31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                      2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr uint16_t kDistBase[30] = {1,    2,    3,    4,    5,    7,    9,    13,    17,    25,
                                    33,   49,   65,   97,   129,  193,  257,  385,   513,   769,
                                    1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr uint8_t kDistExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                    6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
// Order in which the code length code's lengths are sent.
constexpr uint8_t kCodeLengthOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

// Length and distance codes by value, made by the compiler.
struct CodeTables {
    uint8_t lengthCode[kMaxMatch + 1] = {};
    uint8_t distCode[kMaxDistance + 1] = {};
    constexpr CodeTables()
    {
        for (unsigned code = 0; code < 29; ++code) {
            const unsigned end = code == 28 ? 259u : kLengthBase[code + 1];
            for (unsigned length = kLengthBase[code]; length < end; ++length) lengthCode[length] = uint8_t(code);
        }
        for (unsigned code = 0; code < 30; ++code) {
            const unsigned end = code == 29 ? 32769u : kDistBase[code + 1];
            for (unsigned distance = kDistBase[code]; distance < end; ++distance) distCode[distance] = uint8_t(code);
        }
    }
};
constexpr CodeTables kTables;

void StoreLittleEndian64(uint8_t* out, uint64_t value)
{
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(out, &value, 8);
    } else {
        for (int i = 0; i < 8; ++i, value >>= 8) out[i] = uint8_t(value);
    }
}

// Leading bytes that agree, at most eight, of two words read from memory
// given as their exclusive or.
size_t AgreeingBytes(uint64_t differ)
{
    if constexpr (std::endian::native == std::endian::little)
        return static_cast<size_t>(std::countr_zero(differ) / 8);
    else
        return static_cast<size_t>(std::countl_zero(differ) / 8);
}

// Bytes from a and b that agree, at most eight; eight bytes are read from each.
size_t FirstAgreeing(const uint8_t* a, const uint8_t* b)
{
    uint64_t x, y;
    std::memcpy(&x, a, 8);
    std::memcpy(&y, b, 8);
    return AgreeingBytes(x ^ y);
}

// Bytes from a and b that agree, at most `limit`: 32 at once where the
// processor compares sixteen so, else two words at a time; then one.
size_t CommonLength(const uint8_t* a, const uint8_t* b, size_t limit)
{
    size_t n = 0;
#if defined(__SSE2__)
    const auto same = [&](size_t at) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + at));
        const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + at));
        return _mm_cmpeq_epi8(x, y);
    };
    for (; n + 32 <= limit; n += 32) {
        const __m128i low = same(n), high = same(n + 16);
        if (_mm_movemask_epi8(_mm_and_si128(low, high)) == 0xFFFF) continue;
        const auto lowMask = static_cast<unsigned>(_mm_movemask_epi8(low));
        if (lowMask != 0xFFFFu) return n + static_cast<size_t>(std::countr_one(lowMask));
        return n + 16 + static_cast<size_t>(std::countr_one(static_cast<unsigned>(_mm_movemask_epi8(high))));
    }
    if (n + 16 <= limit) {
        const auto mask = static_cast<unsigned>(_mm_movemask_epi8(same(n)));
        if (mask != 0xFFFFu) return n + static_cast<size_t>(std::countr_one(mask));
        n += 16;
    }
#else
    for (; n + 16 <= limit; n += 16) {
        uint64_t x[2], y[2];
        std::memcpy(x, a + n, 16);
        std::memcpy(y, b + n, 16);
        if (x[0] != y[0]) return n + AgreeingBytes(x[0] ^ y[0]);
        if (x[1] != y[1]) return n + 8 + AgreeingBytes(x[1] ^ y[1]);
    }
#endif
    while (n + 8 <= limit) {
        const size_t agree = FirstAgreeing(a + n, b + n);
        if (agree < 8) return n + agree;
        n += 8;
    }
    while (n < limit && a[n] == b[n]) ++n;
    return n;
}

// Adler-32 of `bytes` with every byte doubled, from the bytes' own: with
// a = 1 + S and b = n + sum (n - k) x_k over n bytes, the doubled ones give
// 1 + 2S and 2n + 4 sum (n - k) x_k - S.
uint32_t DoubledAdler(const uint8_t* bytes, size_t n)
{
    constexpr uint64_t kBase = 65521;
    const uint32_t adler = libdeflate_adler32(1, bytes, n);
    const uint64_t a = adler & 0xFFFFu, b = adler >> 16, twiceN = 2 * (n % kBase);
    const uint64_t doubledA = (2 * a + kBase - 1) % kBase;
    const uint64_t doubledB = (4 * b + 2 * kBase - twiceN + kBase - a + 1) % kBase;
    return uint32_t(doubledB << 16 | doubledA);
}

// Huffman code lengths for the frequencies, none longer than maxBits. At
// least two symbols get a code, so that every code is complete (one an
// inflater accepts even when a block uses a single symbol).
template <size_t N>
void BuildLengths(std::array<uint32_t, N> freq, unsigned maxBits, std::array<uint8_t, N>& lengths)
{
    size_t used = 0;
    for (size_t i = 0; i < N && used < 2; ++i) used += freq[i] > 0;
    for (size_t i = 0; i < N && used < 2; ++i)
        if (freq[i] == 0) freq[i] = 1, ++used;
    while (true) {
        // The symbols used, lightest first, are the first nodes; inner nodes
        // follow as they are made, which is in order of weight too, so the two
        // lightest left are always at the front of one list or the other.
        std::array<uint64_t, N> keys;
        size_t count = 0;
        for (size_t i = 0; i < N; ++i)
            if (freq[i] > 0) keys[count++] = uint64_t{freq[i]} << 16 | i;
        std::sort(keys.begin(), keys.begin() + count);
        std::array<uint64_t, 2 * N> weight;
        std::array<uint16_t, 2 * N> parent;
        for (size_t i = 0; i < count; ++i) weight[i] = keys[i] >> 16;
        size_t leaf = 0, inner = count, next = count;
        const auto lightest = [&] {
            return leaf < count && (inner == next || weight[leaf] <= weight[inner]) ? leaf++ : inner++;
        };
        for (; next < 2 * count - 1; ++next) {
            const size_t a = lightest(), b = lightest();
            weight[next] = weight[a] + weight[b];
            parent[a] = parent[b] = uint16_t(next);
        }
        // Depths from the root (the last node) down.
        std::array<uint8_t, 2 * N> depth;
        depth[next - 1] = 0;
        for (size_t node = next - 1; node-- > 0;) depth[node] = uint8_t(depth[parent[node]] + 1);
        lengths.fill(0);
        bool fits = true;
        for (size_t i = 0; i < count; ++i) {
            lengths[keys[i] & 0xFFFFu] = depth[i];
            fits = fits && depth[i] <= maxBits;
        }
        if (fits) return;
        // Too deep: flatten the frequencies and build again.
        for (auto& f : freq)
            if (f > 0) f = (f >> 1) | 1;
    }
}

// Canonical codes for the lengths, bit-reversed for a stream that is filled
// from the least significant bit.
template <size_t N>
void BuildCodes(const std::array<uint8_t, N>& lengths, std::array<uint16_t, N>& codes)
{
    uint16_t count[16] = {};
    for (const uint8_t length : lengths) ++count[length];
    count[0] = 0;
    uint16_t next[16] = {};
    for (unsigned bits = 1, code = 0; bits < 16; ++bits) {
        code = (code + count[bits - 1]) << 1;
        next[bits] = uint16_t(code);
    }
    for (size_t i = 0; i < N; ++i) {
        const unsigned length = lengths[i];
        if (length == 0) continue;
        unsigned code = next[length]++, reversed = 0;
        for (unsigned b = 0; b < length; ++b, code >>= 1) reversed = (reversed << 1) | (code & 1u);
        codes[i] = uint16_t(reversed);
    }
}
}  // namespace

void ImageDeflater::Start(size_t rowBytes, unsigned doubledBits)
{
    StartBand(rowBytes, doubledBits);
    // Deflate with a 32 KiB window, no dictionary, check bits as zlib writes them.
    MakeRoom(2);
    m_out[m_outPos++] = 0x78;
    m_out[m_outPos++] = 0x01;
}

void ImageDeflater::StartBand(size_t rowBytes, unsigned doubledBits)
{
    m_rowBytes = rowBytes < 1 ? 1 : rowBytes;
    // Pixels narrower than a byte may leave the last doubled byte as padding only.
    const bool doubled =
        doubledBits == 8 ? m_rowBytes % 2 == 0 : doubledBits == 1 || doubledBits == 2 || doubledBits == 4;
    if (doubled && doubledBits != m_doubledBits) {
        // Each pixel of a byte twice, the first half of them in the first byte.
        const unsigned pixels = 8 / doubledBits, mask = (1u << doubledBits) - 1u;
        for (unsigned byte = 0; byte < 256; ++byte) {
            unsigned wide = 0;
            for (unsigned p = 0; p < pixels; ++p) {
                const unsigned pixel = (byte >> (8 - doubledBits * (p + 1))) & mask;
                wide = (wide << 2 * doubledBits) | pixel << doubledBits | pixel;
            }
            m_doubled[byte] = {uint8_t(wide >> 8), uint8_t(wide)};
        }
    }
    m_doubledBits = doubled ? doubledBits : 0;
    m_inBytes = doubled ? (m_rowBytes + 1) / 2 : m_rowBytes;
    if (doubled && m_doubledRow.size() < 2 * m_inBytes) m_doubledRow.resize(2 * m_inBytes);
    // Eight bytes more: rows are compared eight bytes at a time, past their end.
    const size_t windowRows = std::max(kWindowRows, kWindowBytes / m_inBytes);
    if (m_window.size() < (kRowsKept + windowRows) * m_inBytes + 8)
        m_window.resize((kRowsKept + windowRows) * m_inBytes + 8);
    // The table of places seen is kept, not cleared: this band's places
    // start past the reach of the last one's, so that an entry left from
    // it is never taken (and one from some four gigabytes back only gives
    // a candidate whose bytes are compared).
    m_base += m_used + kMaxDistance;
    m_used = 0;
    m_lastSeen.resize(size_t{1} << kHashBits);
    m_adler = m_rowAdler = 1;
    m_bRowAdlerKnown = false;
    m_bAboveRepeats = false;
    // A block is written once a row ends past kBlockTokens; a row adds at
    // most a token a coded byte.
    if (m_tokens.size() < kBlockTokens + m_rowBytes) m_tokens.resize(kBlockTokens + m_rowBytes);
    m_tokenCount = 0;
    m_litFreq.fill(0);
    m_distFreq.fill(0);
    m_bits = 0;
    m_bitCount = 0;
    m_bFinished = false;
    m_outPos = 0;
}

void ImageDeflater::WriteInto(std::vector<uint8_t>& room)
{
    m_out.swap(room);
    m_outPos = 0;
}

size_t ImageDeflater::TakeOutput(std::vector<uint8_t>& into)
{
    const size_t bytes = m_outPos;
    m_out.swap(into);
    m_outPos = 0;
    return bytes;
}

void ImageDeflater::MakeRoom(size_t bytes)
{
    if (m_out.size() < m_outPos + bytes) m_out.resize(m_outPos + bytes);
}

[[gnu::always_inline]] inline void ImageDeflater::Literal(uint8_t byte)
{
    m_tokens[m_tokenCount++] = byte;
    ++m_litFreq[byte];
}

[[gnu::always_inline]] inline void ImageDeflater::Match(size_t length, size_t distance)
{
    const unsigned distCode = kTables.distCode[distance];
    const uint32_t token = kMatchFlag | distCode << kDistCodeShift | uint32_t(distance - 1);
    const auto piece = [&](size_t bytes) {
        m_tokens[m_tokenCount++] = token | uint32_t(bytes) << 16;
        ++m_litFreq[257u + kTables.lengthCode[bytes]];
        ++m_distFreq[distCode];
    };
    if (length <= kMaxMatch) return piece(length);
    // Pieces of kMaxMatch (a repeated row is some twenty of them, counted
    // and stored at once), then the rest: none shorter than kMinMatch.
    size_t whole = length / kMaxMatch, rest = length % kMaxMatch;
    if (whole > 0 && rest > 0 && rest < kMinMatch) {
        --whole;
        piece(kMaxMatch + rest - kMinMatch);
        rest = kMinMatch;
    }
    if (whole > 0) {
        const uint32_t longest = token | uint32_t(kMaxMatch) << 16;
        if (whole == 1) {
            m_tokens[m_tokenCount++] = longest;
        } else {
            m_tokens[m_tokenCount++] = longest | kRunFlag;
            m_tokens[m_tokenCount++] = uint32_t(whole);
        }
        m_litFreq[257u + kTables.lengthCode[kMaxMatch]] += uint32_t(whole);
        m_distFreq[distCode] += uint32_t(whole);
    }
    if (rest > 0) piece(rest);
}

uint8_t* ImageDeflater::NextRowSpace()
{
    const size_t n = m_inBytes;
    if (m_used + n + 8 > m_window.size()) {
        // Keep the rows that distances can still reach at the front.
        const size_t keep = std::min(m_used, kRowsKept * n);
        std::memmove(m_window.data(), m_window.data() + m_used - keep, keep);
        m_base += m_used - keep;
        m_used = keep;
    }
    return m_window.data() + m_used;
}

void ImageDeflater::Prime(const uint8_t* row)
{
    if (m_bFinished) return;
    uint8_t* space = NextRowSpace();
    if (row != space) std::memcpy(space, row, m_inBytes);
    m_used += m_inBytes;
    m_bRowAdlerKnown = false;  // the row above is not the last coded one
    m_bAboveRepeats = false;
}

template <bool Doubled>
[[gnu::always_inline]] inline ImageDeflater::Found ImageDeflater::FindMatch(const uint8_t* cur, size_t at,
                                                                            size_t history)
{
    // On rows given before doubling each byte stands for two coded ones.
    constexpr size_t least = Doubled ? kMinHalfMatch : kMinMatch;
    constexpr size_t leastFar = Doubled ? kMinFarHalfMatch : kMinFarMatch;
    const size_t n = m_inBytes, left = n - at;
    const uint8_t* here = cur + at;
    uint64_t first;
    std::memcpy(&first, here, 8);
    Found best;
    // Every candidate is compared eight bytes at once, without a branch on
    // its first byte (which, on text, mispredicts more than it saves); only
    // one that agrees on all eight is followed further. Lengths may run past
    // the row's end here, and are cut back once found; one too short for a
    // near match is dropped then too, a far one (with its longer distance
    // code) here.
    const auto consider = [&](size_t distance, bool far) {
        const uint8_t* from = here - distance;
        uint64_t word;
        std::memcpy(&word, from, 8);
        size_t length = AgreeingBytes(first ^ word);
        if (length == 8 && left > 8 && best.length < left) length += CommonLength(here + 8, from + 8, left - 8);
        if (far) length = length >= leastFar ? length : 0;
        if (length > best.length) best = {length, distance};
    };
    const auto found = [&] {
        best.length = std::min(best.length, left);
        return best.length >= least ? best : Found{};
    };
    // A run that agrees on eight bytes (white paper, mostly) is taken at
    // once: the rows above seldom do better there.
    if (history >= 1) consider(1, false);
    if (best.length >= 8) return found();
    // The rows above: one source row up, and two and four for thinning
    // patterns, which repeat every few rows. Two rows up is passed over
    // where the row above repeats it (an enlarged row): it would find what
    // one row up finds.
    static_assert(kRowsKept == 8);
    for (const size_t rows : {1u, 2u, 4u, 8u})
        if (rows * n <= history && (rows != 2 || !m_bAboveRepeats)) consider(rows * n, true);
    // Past eight bytes agreeing, a recent or near place rarely does better.
    if (best.length >= 8) return found();
    if (left >= kHashedBytes) {
        // The last place these bytes were seen; a stale or colliding entry
        // only gives a short match, as the bytes are compared.
        const uint64_t hashed = std::endian::native == std::endian::little ? first << (64 - 8 * kHashedBytes)
                                                                           : first >> (64 - 8 * kHashedBytes);
        const auto slot = uint32_t((hashed * 0x9E3779B97F4A7C15u) >> (64 - kHashBits));
        const auto position = uint32_t(m_base + m_used + at);
        const uint32_t distance = position - m_lastSeen[slot];
        m_lastSeen[slot] = position;
        if (distance - 1 < history) consider(distance, true);
        if (best.length >= 8) return found();
    }
    // Dither patterns and enlarged pixel pairs repeat within a few bytes.
    const auto shortDistances =
        Doubled ? std::span<const size_t>(kShortHalfDistances) : std::span<const size_t>(kShortDistances);
    if (history >= shortDistances.back()) {
        for (const size_t distance : shortDistances) consider(distance, false);
    } else {
        for (const size_t distance : shortDistances)
            if (distance <= history) consider(distance, false);
    }
    return found();
}

void ImageDeflater::AddRow(const uint8_t* row)
{
    if (m_bFinished) return;
    const size_t n = m_inBytes;
    uint8_t* cur = NextRowSpace();
    if (m_used >= n && std::memcmp(cur - n, row, n) == 0) return RepeatRow();
    if (row != cur) std::memcpy(cur, row, n);
    if (m_doubledBits != 0) return AddDoubledRow(cur);
    m_rowAdler = libdeflate_adler32(1, cur, n);
    m_bRowAdlerKnown = true;
    size_t i = 0;
    while (i < n) {
        // Bytes before cur[i] that a distance may reach.
        const size_t history = std::min(m_used + i, kMaxDistance);
        const auto [bestLength, bestDistance] = FindMatch<false>(cur, i, history);
        if (bestLength >= kMinMatch) {
            Match(bestLength, bestDistance);
            i += bestLength;
            continue;
        }
        Literal(cur[i++]);
        if (i < n && cur[i] == cur[i - 1]) {
            // A byte repeating the literal before it (a pixel enlarged, or a
            // run starting): the rows above and the near distances rarely
            // find more here than they found a byte before, so only a run is
            // looked for.
            const size_t run = CommonLength(cur + i, cur + i - 1, n - i);
            if (run >= kMinMatch) {
                Match(run, 1);
                i += run;
            } else {
                Literal(cur[i++]);
            }
        }
    }
    EndRow();
}

void ImageDeflater::AddDoubledRow(const uint8_t* cur)
{
    const size_t n = m_inBytes;
    if (m_doubledBits == 8) {
        m_rowAdler = DoubledAdler(cur, n);
    } else {
        Double(cur);
        m_rowAdler = libdeflate_adler32(1, m_doubledRow.data(), m_rowBytes);
    }
    m_bRowAdlerKnown = true;
    // A coded row one byte short of twice the row given drops the second
    // byte of its last one: a match may not run across that end of a row,
    // and distances across rows shrink by a byte for each row crossed.
    const bool shortRows = m_rowBytes < 2 * n;
    // Distances here are in bytes given, about half the coded ones.
    const size_t reach = kMaxDistance / 2;
    // The coded bytes of cur[at] as literals; a short row has no second one for its last.
    const auto literals = [&](size_t at) {
        Literal(m_doubled[cur[at]][0]);
        if (!shortRows || at + 1 < n) Literal(m_doubled[cur[at]][1]);
    };
    bool literalBefore = false;  // whether the last token is the coded byte before cur[j]'s
    size_t j = 0;
    while (j < n) {
        const size_t history = std::min(m_used + j, reach);
        const Found found = FindMatch<true>(cur, j, history);
        const std::array<uint8_t, 2>& pair = m_doubled[cur[j]];
        size_t given = found.length, distance = 2 * found.distance;
        // The source's column; the window holds whole rows from its start.
        size_t from = found.distance <= j ? j - found.distance : 0;
        bool sourceEnds = false;
        if (shortRows && given > 0 && found.distance > j) {
            const size_t at = m_used + j - found.distance;
            from = at % n;
            given = std::min(given, n - from);
            sourceEnds = from + given == n;
            distance -= m_used / n - at / n;
        }
        const bool rowEnds = j + given == n;
        size_t length = 2 * given - (shortRows && (sourceEnds || rowEnds) ? 1 : 0);
        if (given == 0 || length < kMinMatch) {
            literals(j++);
            // A byte of several pixels that nothing matches is mostly
            // followed by another (a glyph's strokes, noise): the next one
            // goes unsearched too. Where a byte is one pixel, the next one
            // mostly starts a match and is searched.
            if (m_doubledBits < 8 && j < n) literals(j++);
            literalBefore = true;
            continue;
        }
        // A run of one coded byte (an 8-bit pixel, white paper) is a run at distance 1.
        if (found.distance == 1 && pair[0] == pair[1]) distance = 1;
        // The literal just before may start the match: a run then begins
        // where the coded bytes start repeating, as it would without doubling.
        if (literalBefore && m_used + j > found.distance) {
            // The coded byte before the source: the first of a row's last
            // byte given, where the row is short, else the second.
            const uint8_t sourceBefore = distance == 1
                                             ? m_doubled[cur[j - 1]][0]
                                             : m_doubled[cur[j - found.distance - 1]][shortRows && from == 0 ? 0 : 1];
            const uint8_t before = m_doubled[cur[j - 1]][1];
            if (sourceBefore == before) {
                --m_tokenCount;
                --m_litFreq[before];
                ++length;
            }
        }
        Match(length, distance);
        j += given;
        literalBefore = false;
        if (sourceEnds && !rowEnds) {
            // The source's row ended a byte early: the second byte of the last one given goes alone.
            Literal(m_doubled[cur[j - 1]][1]);
            literalBefore = true;
        }
    }
    EndRow();
}

void ImageDeflater::Double(const uint8_t* cur)
{
    uint8_t* out = m_doubledRow.data();
    const auto pair = [&](size_t j) {
        uint16_t bytes;
        std::memcpy(&bytes, m_doubled[cur[j]].data(), 2);
        return uint64_t{bytes};
    };
    // Four bytes' pairs gathered into a word and stored at once, in memory's order.
    size_t j = 0;
    for (; j + 4 <= m_inBytes; j += 4, out += 8) {
        uint64_t word;
        if constexpr (std::endian::native == std::endian::little)
            word = pair(j) | pair(j + 1) << 16 | pair(j + 2) << 32 | pair(j + 3) << 48;
        else
            word = pair(j) << 48 | pair(j + 1) << 32 | pair(j + 2) << 16 | pair(j + 3);
        std::memcpy(out, &word, 8);
    }
    for (; j < m_inBytes; ++j, out += 2) std::memcpy(out, m_doubled[cur[j]].data(), 2);
}

void ImageDeflater::RepeatRow()
{
    if (m_bFinished || m_used < m_inBytes) return;
    const size_t n = m_rowBytes;
    uint8_t* cur = NextRowSpace();
    std::memcpy(cur, cur - m_inBytes, m_inBytes);
    const bool literals = n > kMaxDistance || n < kMinMatch;
    const uint8_t* coded = cur;
    if (m_doubledBits != 0 && (!m_bRowAdlerKnown || literals)) {
        Double(cur);
        coded = m_doubledRow.data();
    }
    // The checksum of the row above, unless that one was only primed.
    if (!m_bRowAdlerKnown) m_rowAdler = libdeflate_adler32(1, coded, n);
    m_bRowAdlerKnown = true;
    if (literals) {
        for (size_t i = 0; i < n; ++i) Literal(coded[i]);
    } else {
        Match(n, n);
    }
    EndRow();
    m_bAboveRepeats = true;
}

void ImageDeflater::EndRow()
{
    m_used += m_inBytes;
    m_bAboveRepeats = false;
    m_adler = uint32_t(adler32_combine(m_adler, m_rowAdler, z_off_t(m_rowBytes)));
    if (m_tokenCount >= kBlockTokens) WriteBlock(false);
}

void ImageDeflater::EndBand(bool last)
{
    if (m_bFinished) return;
    m_bFinished = true;
    WriteBlock(last);
    MakeRoom(16);
    if (!last) {
        // An empty stored block: what zlib's sync flush writes, ending on a byte boundary.
        PutBits(0, 3);
        if (m_bitCount % 8 != 0) PutBits(0, 8 - m_bitCount % 8);
        PutBits(0xFFFF0000u, 32);
    }
    if (m_bitCount % 8 != 0) PutBits(0, 8 - m_bitCount % 8);
    DrainBits();
}

void ImageDeflater::Finish()
{
    if (m_bFinished) return;
    EndBand(true);
    MakeRoom(4);
    for (int shift = 24; shift >= 0; shift -= 8) m_out[m_outPos++] = uint8_t(m_adler >> shift);
}

void ImageDeflater::PutBits(uint32_t value, unsigned count)
{
    m_bits |= uint64_t(value) << m_bitCount;
    m_bitCount += count;
    if (m_bitCount < 32) return;
    uint8_t* out = m_out.data() + m_outPos;
    out[0] = uint8_t(m_bits);
    out[1] = uint8_t(m_bits >> 8);
    out[2] = uint8_t(m_bits >> 16);
    out[3] = uint8_t(m_bits >> 24);
    m_outPos += 4;
    m_bits >>= 32;
    m_bitCount -= 32;
}

void ImageDeflater::DrainBits()
{
    for (; m_bitCount >= 8; m_bitCount -= 8, m_bits >>= 8) m_out[m_outPos++] = uint8_t(m_bits);
}

void ImageDeflater::WriteBlock(bool last)
{
    ++m_litFreq[kEndOfBlock];
    std::array<uint8_t, 286> litLengths{};
    std::array<uint8_t, 30> distLengths{};
    BuildLengths(m_litFreq, 15, litLengths);
    BuildLengths(m_distFreq, 15, distLengths);
    std::array<uint16_t, 286> litCodes{};
    std::array<uint16_t, 30> distCodes{};
    BuildCodes(litLengths, litCodes);
    BuildCodes(distLengths, distCodes);

    size_t litCount = 286, distCount = 30;
    while (litCount > 257 && litLengths[litCount - 1] == 0) --litCount;
    while (distCount > 1 && distLengths[distCount - 1] == 0) --distCount;
    // The code lengths go out one symbol each (no run codes): a few hundred
    // bits per block of tens of thousands of symbols.
    std::array<uint32_t, 19> clFreq{};
    for (size_t i = 0; i < litCount; ++i) ++clFreq[litLengths[i]];
    for (size_t i = 0; i < distCount; ++i) ++clFreq[distLengths[i]];
    std::array<uint8_t, 19> clLengths{};
    std::array<uint16_t, 19> clCodes{};
    BuildLengths(clFreq, 7, clLengths);
    BuildCodes(clLengths, clCodes);
    size_t clCount = 19;
    while (clCount > 4 && clLengths[kCodeLengthOrder[clCount - 1]] == 0) --clCount;

    // Room for the codes (at most 400 bytes) and 48 bits a symbol (a run
    // stands for several), written through a position rather than appended
    // byte by byte.
    size_t symbols = 0;
    for (const uint32_t count : m_litFreq) symbols += count;
    MakeRoom(512 + 6 * symbols + 8);
    PutBits(last ? 1u : 0u, 1);
    PutBits(2, 2);  // dynamic Huffman codes
    PutBits(uint32_t(litCount - 257), 5);
    PutBits(uint32_t(distCount - 1), 5);
    PutBits(uint32_t(clCount - 4), 4);
    for (size_t i = 0; i < clCount; ++i) PutBits(clLengths[kCodeLengthOrder[i]], 3);
    for (size_t i = 0; i < litCount; ++i) PutBits(clCodes[litLengths[i]], clLengths[litLengths[i]]);
    for (size_t i = 0; i < distCount; ++i) PutBits(clCodes[distLengths[i]], clLengths[distLengths[i]]);

    // Each length's code and extra bits as one string of bits, for this
    // block's codes, and each distance code's bits before its extra ones.
    std::array<uint32_t, kMaxMatch + 1> lengthBits{};
    std::array<uint8_t, kMaxMatch + 1> lengthCount{};
    for (size_t length = kMinMatch; length <= kMaxMatch; ++length) {
        const unsigned lc = kTables.lengthCode[length];
        lengthBits[length] = litCodes[257 + lc] | uint32_t(length - kLengthBase[lc]) << litLengths[257 + lc];
        lengthCount[length] = uint8_t(litLengths[257 + lc] + kLengthExtra[lc]);
    }
    // The tokens' bits stay in registers and go out eight bytes at a time,
    // the position moving on by the whole bytes among them: at most 56 bits
    // a step (a length's and a distance's codes with their extra bits are at
    // most 48), so that with the 7 left over they fit in the 64-bit store
    // and less than a whole word is ever shifted out (the room made covers
    // the store's overrun). The header's bits left over are written first,
    // so that no more than 7 wait at any step.
    DrainBits();
    uint64_t bits = m_bits;
    unsigned count = m_bitCount;
    uint8_t* out = m_out.data() + m_outPos;
    const auto put = [&](uint64_t value, unsigned n) {
        bits |= value << count;
        count += n;
        StoreLittleEndian64(out, bits);
        const unsigned whole = count & ~7u;
        out += whole / 8;
        bits >>= whole;
        count -= whole;
    };
    // A run's pieces go out two at a time where a step holds them.
    const auto putRun = [&](uint64_t value, unsigned n, uint32_t times) {
        if (2 * n <= 56) {
            for (const uint64_t two = value | value << n; times >= 2; times -= 2) put(two, 2 * n);
        }
        for (; times > 0; --times) put(value, n);
    };
    // A match like the one before goes out as its bits did.
    uint32_t lastMatch = 0;
    uint64_t lastBits = 0;
    unsigned lastCount = 0;
    // Held apart from the members, which the byte stores could otherwise change as far as the compiler knows.
    const uint32_t* const tokens = m_tokens.data();
    const size_t tokenCount = m_tokenCount;
    for (size_t i = 0; i < tokenCount; ++i) {
        const uint32_t token = tokens[i];
        if (!(token & kMatchFlag)) {
            // Literals mostly come two or more together: two go out in one step.
            const uint32_t next = i + 1 < tokenCount ? tokens[i + 1] : kMatchFlag;
            if (next & kMatchFlag) {
                put(litCodes[token], litLengths[token]);
            } else {
                put(litCodes[token] | uint64_t{litCodes[next]} << litLengths[token],
                    unsigned(litLengths[token]) + litLengths[next]);
                ++i;
            }
            continue;
        }
        if (token != lastMatch) {
            const unsigned length = (token >> 16) & 0x1FFu;
            const unsigned dc = (token >> kDistCodeShift) & 0x1Fu;
            const uint64_t distance = (token & 0xFFFFu) + 1u - kDistBase[dc];
            const uint64_t distBits = distCodes[dc] | distance << distLengths[dc];
            lastBits = lengthBits[length] | distBits << lengthCount[length];
            lastCount = unsigned(lengthCount[length]) + distLengths[dc] + kDistExtra[dc];
            // A run is never taken for the match before it: it has a count to go with it.
            lastMatch = token & ~kRunFlag;
            if (token & kRunFlag) {
                putRun(lastBits, lastCount, tokens[++i]);
                continue;
            }
        }
        put(lastBits, lastCount);
    }
    m_bits = bits;
    m_bitCount = count;
    m_outPos = size_t(out - m_out.data());
    PutBits(litCodes[kEndOfBlock], litLengths[kEndOfBlock]);
    DrainBits();
    m_tokenCount = 0;
    m_litFreq.fill(0);
    m_distFreq.fill(0);
}
