#pragma once
#include <cstdint>

// Where rows of one-byte pixels change between light and dark. Nearly every
// pixel of a printed page is its paper or its ink: those two values are
// compared many pixels at a time, only others are looked up one by one.
class DarkEdges {
public:
    // dark: whether each value reads dark; paper and ink: the values most
    // pixels take (either may read light or dark).
    DarkEdges(const bool (&dark)[256], uint8_t paper, uint8_t ink);

    bool Dark(uint8_t value) const { return m_Dark[value]; }

    // The columns where `row`, `width` pixels long, changes between light and
    // dark, from light at its left edge; a row ending dark ends with width.
    // edges has room for width + 1; returns how many it received. next, when
    // not null, is the row to be read after this one: it is fetched into the
    // cache a block at a time along this one, the requests spread out.
    int32_t Find(const uint8_t* row, int32_t width, int32_t* edges, const uint8_t* next) const;

private:
    // Whether the 64 pixels from block on are all paper.
    bool AllPaper(const uint8_t* block) const;
    // The dark pixels of `n` (at most 64) as bits, the first lowest.
    uint64_t DarkBits(const uint8_t* block, int32_t n) const;

    bool m_Dark[256];
    uint8_t m_Paper, m_Ink;
    uint64_t m_PaperWord, m_InkWord;  // the value eight times over
    uint64_t m_PaperDark, m_InkDark;  // all ones where the value reads dark
};
