#include "LegibleThinning.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "SavingsMasks.h"

namespace {

constexpr int32_t kDitherSize = 16;  // divides the period, so no seam appears
constexpr int32_t kDitherCells = kDitherSize * kDitherSize;
static_assert(SavingsMasks::kPeriodPixels % kDitherSize == 0);

enum : uint8_t { kLight = 0, kEdgePixel = 1, kInterior = 2 };

// An ordered dither: a share s of the cells below s * kDitherCells, spread
// evenly, so that a thinned fill stays an even grey.
constexpr std::array<std::array<uint8_t, kDitherSize>, kDitherSize> MakeDither()
{
    std::array<std::array<uint8_t, kDitherSize>, kDitherSize> m{};
    for (int32_t y = 0; y < kDitherSize; ++y)
        for (int32_t x = 0; x < kDitherSize; ++x) {
            int32_t v = 0;
            for (int32_t bit = 1, shift = 0; bit < kDitherSize; bit *= 2, shift += 2) {
                const int32_t bx = (x & bit) != 0 ? 1 : 0;
                const int32_t by = (y & bit) != 0 ? 1 : 0;
                v |= ((bx ^ by) | (by << 1)) << (6 - shift);
            }
            m[static_cast<size_t>(y)][static_cast<size_t>(x)] = static_cast<uint8_t>(v);
        }
    return m;
}
constexpr auto kDither = MakeDither();

constexpr bool EveryCellOnce()
{
    std::array<bool, kDitherCells> seen{};
    for (const auto& row : kDither)
        for (const uint8_t v : row) seen[v] = true;
    for (const bool s : seen)
        if (!s) return false;
    return true;
}
static_assert(EveryCellOnce(), "the dither must hold every threshold once");

}  // namespace

int32_t LegibleThinning::EdgeWidth(int32_t resolution)
{
    return std::max(1, (kEdgeAt600 * resolution + 300) / 600);
}

LegibleThinning::LegibleThinning(const PageView& page, int32_t edgeWidth, double nominal)
    : m_Page(page), m_Edge(std::max(1, edgeWidth)), m_Window(2 * m_Edge + 1)
{
    const auto width = static_cast<size_t>(page.width);
    m_Near.resize(width * static_cast<size_t>(m_Window));
    m_Dark.resize(width);
    m_LastLight.resize(width);
    m_Classes.resize(width);
    m_Drops.resize(width);

    uint64_t dark = 0;
    uint64_t interior = 0;
    for (int32_t r = 0; r < page.height; ++r) {
        const uint8_t* classes = Classify(r);
        for (int32_t x = 0; x < page.width; ++x) {
            dark += classes[x] != kLight ? 1 : 0;
            interior += classes[x] == kInterior ? 1 : 0;
        }
    }
    m_Share = interior == 0 ? 0.0
                            : std::clamp(nominal * static_cast<double>(dark) / static_cast<double>(interior), nominal,
                                         kMaxInteriorShare);
    m_Threshold = static_cast<int32_t>(std::lround(m_Share * kDitherCells));
    Rewind();
}

void LegibleThinning::Rewind()
{
    m_Ready = 0;
}

void LegibleThinning::DarkRow(int32_t storedRow, uint8_t* dark) const
{
    const uint8_t* row = m_Page.Row(storedRow);
    if (m_Page.bytesPerPixel == 1) {
        for (int32_t x = 0; x < m_Page.width; ++x) dark[x] = m_Page.grey[row[x]] < kDark ? 1 : 0;
        return;
    }
    for (int32_t x = 0; x < m_Page.width; ++x) dark[x] = m_Page.Grey(row, x) < kDark ? 1 : 0;
}

// Ring slot of a stored row: 1 where a light pixel (or the page's edge) lies within m_Edge columns.
void LegibleThinning::NearLightRow(int32_t storedRow)
{
    uint8_t* dark = m_Dark.data();
    DarkRow(storedRow, dark);
    uint8_t* near = m_Near.data() + static_cast<size_t>(storedRow % m_Window) * static_cast<size_t>(m_Page.width);
    const int32_t width = m_Page.width;
    int32_t last = -1;  // beyond the left edge is paper
    for (int32_t x = 0; x < width; ++x) {
        if (dark[x] == 0) last = x;
        m_LastLight[static_cast<size_t>(x)] = last;
    }
    int32_t next = width;  // beyond the right edge too
    for (int32_t x = width - 1; x >= 0; --x) {
        if (dark[x] == 0) next = x;
        near[x] = x - m_LastLight[static_cast<size_t>(x)] <= m_Edge || next - x <= m_Edge ? 1 : 0;
    }
}

const uint8_t* LegibleThinning::Classify(int32_t storedRow)
{
    if (storedRow == 0) Rewind();
    const int32_t last = std::min(storedRow + m_Edge, m_Page.height - 1);
    for (; m_Ready <= last; ++m_Ready) NearLightRow(m_Ready);
    // Rows beyond the top and bottom are paper: every pixel there is near light.
    const bool clipped = storedRow - m_Edge < 0 || storedRow + m_Edge >= m_Page.height;
    const int32_t width = m_Page.width;
    uint8_t* classes = m_Classes.data();
    std::fill(classes, classes + width, clipped ? 1 : 0);
    if (!clipped)
        for (int32_t y = storedRow - m_Edge; y <= storedRow + m_Edge; ++y) {
            const uint8_t* near = m_Near.data() + static_cast<size_t>(y % m_Window) * static_cast<size_t>(width);
            for (int32_t x = 0; x < width; ++x) classes[x] |= near[x];
        }
    // Near light: edge; else interior. Light pixels stay light.
    DarkRow(storedRow, m_Dark.data());
    for (int32_t x = 0; x < width; ++x)
        classes[x] = m_Dark[static_cast<size_t>(x)] == 0 ? kLight : classes[x] != 0 ? kEdgePixel : kInterior;
    return classes;
}

const uint8_t* LegibleThinning::DropRow(int32_t storedRow, const uint8_t* maskDrops)
{
    const uint8_t* classes = Classify(storedRow);
    const auto& dither = kDither[static_cast<size_t>(storedRow % kDitherSize)];
    for (int32_t x = 0; x < m_Page.width; ++x) {
        const uint8_t c = classes[x];
        m_Drops[static_cast<size_t>(x)] = c == kLight ? maskDrops[x % SavingsMasks::kPeriodPixels]
                                          : c == kInterior
                                              ? (dither[static_cast<size_t>(x % kDitherSize)] < m_Threshold ? 1 : 0)
                                              : 0;
    }
    return m_Drops.data();
}
