#pragma once
#include <cstdint>
#include <vector>

#include "PageView.h"

// The legible style of saving. Dark pixels within edgeWidth of a light one
// (the edges of glyphs, lines and codes) are kept; the interior of dark
// shapes is thinned harder, by an ordered dither, so that the page loses
// about the nominal share of its dark pixels; light pixels follow the
// level's mask. Thin strokes, all edge, lose little; large fills lose more.
// Two passes over the page: one to weigh edges against interiors, one to thin.
class LegibleThinning {
public:
    // Darker than this (0 black, 255 white) is part of a shape.
    static constexpr int32_t kDark = 128;
    // Edge width in pixels at 600 dpi; other resolutions scale it.
    static constexpr int32_t kEdgeAt600 = 2;
    // The interior never loses more than this share, so fills stay visible.
    static constexpr double kMaxInteriorShare = 15.0 / 16.0;

    static int32_t EdgeWidth(int32_t resolution);

    // nominal: the share of pixels the level's mask drops.
    LegibleThinning(const PageView& page, int32_t edgeWidth, double nominal);

    // Drop flags (1: make white) of every pixel of a stored row. Rows are
    // asked for in storage order, starting at 0; maskDrops holds the mask's
    // flags over one period of kPeriodPixels.
    const uint8_t* DropRow(int32_t storedRow, const uint8_t* maskDrops);

    // The share of interior pixels this page drops.
    double InteriorShare() const { return m_Share; }

private:
    // Reads a stored row into its ring slot: dark flags, and near-light flags
    // (1 where a light pixel or the page's side lies within m_Edge columns).
    void LoadRow(int32_t storedRow);
    // Makes m_Dark/m_Interior of a stored row current: its dark pixels, and
    // those with no light pixel within m_Edge rows and columns.
    void Classify(int32_t storedRow);
    uint8_t* Slot(std::vector<uint8_t>& ring, int32_t storedRow);

    PageView m_Page;
    int32_t m_Edge;
    int32_t m_Window;     // rows in the ring: 2 * m_Edge + 1
    int32_t m_Ready = 0;  // rows below this are in the ring
    double m_Share = 0;
    int32_t m_Threshold = 0;  // dither cells below it are dropped
    uint8_t m_IsDark[256];    // per one-byte value
    std::vector<uint8_t> m_DarkRing;
    std::vector<uint8_t> m_NearRing;
    std::vector<uint8_t> m_Light;  // one row's light flags, m_Edge light pixels either side
    std::vector<uint8_t> m_Interior;
    std::vector<uint8_t> m_Drops;
    uint8_t* m_Dark = nullptr;  // the ring slot of the current row
};
