#pragma once
#include <cstdint>
#include <vector>

#include "InkMap.h"

// One code line's box in page pixels, bounds inclusive, y from the top.
struct CodeLineBox {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
};

// Finds the E-13B code lines of a page from their geometry alone: characters
// 0.117 inch high on a 0.125 inch pitch, standing on one (possibly slightly
// skewed) baseline, with clear paper above and below.
//
// The page is read once on a coarse grid of about 1/100 inch, one pixel per
// cell, so the cost hardly depends on the resolution. Ink cells join into
// blobs; blobs of a character's size whose centres keep the pitch form a
// chain; a chain of enough characters whose band is clear of other ink is a
// code line. Its box is then measured on the page's own pixels.
class MicrLineFinder {
public:
    static constexpr int32_t kMaxLines = 9;

    MicrLineFinder(const InkMap& page, int32_t dpi);

    // At most kMaxLines boxes, top to bottom, each with a margin of 1/32 inch
    // and clipped to the page; none for a page or resolution it cannot read.
    std::vector<CodeLineBox> Find();

private:
    struct Run {
        int32_t y;
        int32_t x0;
        int32_t x1;  // inclusive
    };
    struct Blob {
        int32_t minX, maxX, minY, maxY;
        int64_t cells;
        int32_t Width() const { return maxX - minX + 1; }
        int32_t Height() const { return maxY - minY + 1; }
        double CenterX() const { return (minX + maxX) / 2.0; }
    };
    // Bottom edge of the characters at grid column x: bottom0 + slope (x - x0).
    struct Baseline {
        double x0;
        double bottom0;
        double slope;
        double At(double x) const { return bottom0 + slope * (x - x0); }
    };

    bool ReadGrid();
    void JoinBlobs();
    std::vector<std::vector<int32_t>> Chains() const;
    bool Accept(const std::vector<int32_t>& chain, CodeLineBox* box) const;
    bool IsPart(const Blob& b) const;
    bool BandIsClear(const Baseline& line, const std::vector<uint8_t>& member, int32_t x0, int32_t x1) const;
    CodeLineBox Measure(int32_t minX, int32_t minY, int32_t maxX, int32_t maxY) const;
    double Inches(double inches) const { return inches * m_CellsPerInch; }

    const InkMap& m_Page;
    int32_t m_Dpi;
    int32_t m_Cell = 1;  // pixels per grid cell
    double m_CellsPerInch = 0;
    int32_t m_GridWidth = 0;
    int32_t m_GridHeight = 0;
    std::vector<Run> m_Runs;          // row by row, left to right
    std::vector<int32_t> m_RowStart;  // first run of each grid row, and the end
    std::vector<int32_t> m_RunBlob;   // blob of each run
    std::vector<Blob> m_Blobs;
};
