#include "DarkEdges.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <iterator>

#include "ByteLanes.h"

DarkEdges::DarkEdges(const bool (&dark)[256], uint8_t paper, uint8_t ink)
    : m_Paper(paper), m_Ink(ink), m_PaperWord(paper * 0x0101010101010101ull), m_InkWord(ink * 0x0101010101010101ull),
      m_PaperDark(dark[paper] ? ~0ull : 0), m_InkDark(dark[ink] ? ~0ull : 0)
{
    std::copy(std::begin(dark), std::end(dark), m_Dark);
}

uint64_t DarkEdges::DarkBits(const uint8_t* block, int32_t n) const
{
    uint64_t isPaper = 0, isInk = 0;  // bit k for pixel k
    int32_t k = 0;
#if defined(__SSE2__)
    // Sixteen at a time where the processor compares them at once.
    const __m128i paper = _mm_set1_epi8(static_cast<char>(m_Paper)), ink = _mm_set1_epi8(static_cast<char>(m_Ink));
    const auto compare = [&](int32_t at) {
        isPaper |= static_cast<uint64_t>(bytelanes::EqualMask16(block + at, paper)) << at;
        isInk |= static_cast<uint64_t>(bytelanes::EqualMask16(block + at, ink)) << at;
    };
    if (n == 64) {  // a whole block, as all but a row's last are: no loop to count
        compare(0), compare(16), compare(32), compare(48);
        k = 64;
    }
    for (; k + 16 <= n; k += 16) compare(k);
#endif
    for (; k + 8 <= n; k += 8) {
        uint64_t word = 0;
        std::memcpy(&word, block + k, 8);
        isPaper |= static_cast<uint64_t>(bytelanes::FirstLowest(bytelanes::ZeroBytes(word ^ m_PaperWord))) << k;
        isInk |= static_cast<uint64_t>(bytelanes::FirstLowest(bytelanes::ZeroBytes(word ^ m_InkWord))) << k;
    }
    for (; k < n; ++k) {
        isPaper |= static_cast<uint64_t>(block[k] == m_Paper) << k;
        isInk |= static_cast<uint64_t>(block[k] == m_Ink) << k;
    }
    const uint64_t all = n == 64 ? ~0ull : (uint64_t{1} << n) - 1;
    uint64_t other = all & ~(isPaper | isInk);
    uint64_t bits = 0;
    // A picture's dither, other values throughout: each looked up in turn.
    if (other == all) {
        for (int32_t at = 0; at < n; ++at) bits |= static_cast<uint64_t>(m_Dark[block[at]]) << at;
        return bits;
    }
    bits = (isPaper & m_PaperDark) | (isInk & m_InkDark);
    for (; other != 0; other &= other - 1) {
        const int32_t at = std::countr_zero(other);
        bits |= static_cast<uint64_t>(m_Dark[block[at]]) << at;
    }
    return bits;
}

bool DarkEdges::AllPaper(const uint8_t* block) const
{
#if defined(__SSE2__)
    const __m128i paper = _mm_set1_epi8(static_cast<char>(m_Paper));
    const auto same = [&](int32_t at) {
        return _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(block + at)), paper);
    };
    return _mm_movemask_epi8(_mm_and_si128(_mm_and_si128(same(0), same(16)), _mm_and_si128(same(32), same(48)))) ==
           0xFFFF;
#else
    uint64_t differ = 0;
    for (int32_t k = 0; k < 64; k += 8) {
        uint64_t word = 0;
        std::memcpy(&word, block + k, 8);
        differ |= word ^ m_PaperWord;
    }
    return differ == 0;
#endif
}

int32_t DarkEdges::Find(const uint8_t* row, int32_t width, int32_t* edges, const uint8_t* next) const
{
    const auto fetch = [next](int32_t x) {
        if (next != nullptr) __builtin_prefetch(next + x);
    };
    int32_t count = 0;
    uint64_t carry = 0;  // whether the pixel before the block is dark
    for (int32_t x = 0; x < width;) {
        // Paper after paper, most of a page, changes nothing.
        if (carry == (m_PaperDark & 1))
            for (; x + 64 <= width && AllPaper(row + x); x += 64) fetch(x);
        if (x >= width) break;
        fetch(x);
        const int32_t n = std::min(64, width - x);
        const uint64_t mask = DarkBits(row + x, n);
        uint64_t changes = mask ^ (mask << 1 | carry);
        if (n < 64) changes &= (uint64_t{1} << n) - 1;
        carry = mask >> (n - 1) & 1;
        for (; changes != 0; changes &= changes - 1) edges[count++] = x + std::countr_zero(changes);
        x += n;
    }
    if (carry != 0) edges[count++] = width;
    return count;
}
