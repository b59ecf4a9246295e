#include "LegibleThinning.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "SavingsMasks.h"

namespace {

constexpr int32_t kDitherSize = 16;  // divides the period, so no seam appears
constexpr int32_t kDitherCells = kDitherSize * kDitherSize;
constexpr int32_t kPeriod = SavingsMasks::kPeriodPixels;
static_assert(kPeriod % kDitherSize == 0);

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
    for (int32_t v = 0; v < 256; ++v) m_IsDark[v] = page.bytesPerPixel == 1 && page.grey[v] < kDark ? 1 : 0;
    m_DarkRing.resize(width * static_cast<size_t>(m_Window));
    m_NearRing.resize(width * static_cast<size_t>(m_Window));
    // Beyond the sides is paper.
    m_Light.assign(width + 2 * static_cast<size_t>(m_Edge), 1);
    m_Interior.resize(width);
    m_Drops.resize(width);

    uint64_t dark = 0;
    uint64_t interior = 0;
    for (int32_t r = 0; r < page.height; ++r) {
        Classify(r);
        for (size_t x = 0; x < width; ++x) {
            dark += m_Dark[x];
            interior += m_Interior[x];
        }
    }
    m_Share = interior == 0 ? 0.0
                            : std::clamp(nominal * static_cast<double>(dark) / static_cast<double>(interior), nominal,
                                         kMaxInteriorShare);
    m_Threshold = static_cast<int32_t>(std::lround(m_Share * kDitherCells));
}

uint8_t* LegibleThinning::Slot(std::vector<uint8_t>& ring, int32_t storedRow)
{
    return ring.data() + static_cast<size_t>(storedRow % m_Window) * static_cast<size_t>(m_Page.width);
}

void LegibleThinning::LoadRow(int32_t storedRow)
{
    const int32_t width = m_Page.width;
    uint8_t* dark = Slot(m_DarkRing, storedRow);
    const uint8_t* row = m_Page.Row(storedRow);
    if (m_Page.bytesPerPixel == 1) {
        // A local copy: the compiler need not reload a table the stores might alias.
        uint8_t isDark[256];
        std::copy(std::begin(m_IsDark), std::end(m_IsDark), isDark);
        for (int32_t x = 0; x < width; ++x) dark[x] = isDark[row[x]];
    } else {
        for (int32_t x = 0; x < width; ++x) dark[x] = m_Page.Grey(row, x) < kDark ? 1 : 0;
    }
    uint8_t* light = m_Light.data() + m_Edge;
    for (int32_t x = 0; x < width; ++x) light[x] = dark[x] ^ 1;
    uint8_t* near = Slot(m_NearRing, storedRow);
    std::fill(near, near + width, 0);
    for (int32_t d = -m_Edge; d <= m_Edge; ++d) {
        const uint8_t* shifted = light + d;
        for (int32_t x = 0; x < width; ++x) near[x] |= shifted[x];
    }
}

void LegibleThinning::Classify(int32_t storedRow)
{
    if (storedRow == 0) m_Ready = 0;
    const int32_t last = std::min(storedRow + m_Edge, m_Page.height - 1);
    for (; m_Ready <= last; ++m_Ready) LoadRow(m_Ready);
    const int32_t width = m_Page.width;
    m_Dark = Slot(m_DarkRing, storedRow);
    uint8_t* interior = m_Interior.data();
    // Rows beyond the top and bottom are paper: near them nothing is interior.
    if (storedRow - m_Edge < 0 || storedRow + m_Edge >= m_Page.height) {
        std::fill(interior, interior + width, 0);
        return;
    }
    std::copy(m_Dark, m_Dark + width, interior);
    for (int32_t y = storedRow - m_Edge; y <= storedRow + m_Edge; ++y) {
        const uint8_t* near = Slot(m_NearRing, y);
        for (int32_t x = 0; x < width; ++x) interior[x] &= near[x] ^ 1;
    }
}

const uint8_t* LegibleThinning::DropRow(int32_t storedRow, const uint8_t* maskDrops)
{
    Classify(storedRow);
    // The dither's drop flags over one period of this row.
    uint8_t dither[kPeriod];
    const auto& cells = kDither[static_cast<size_t>(storedRow % kDitherSize)];
    for (int32_t x = 0; x < kPeriod; ++x) dither[x] = cells[static_cast<size_t>(x % kDitherSize)] < m_Threshold ? 1 : 0;
    const uint8_t* dark = m_Dark;
    const uint8_t* interior = m_Interior.data();
    uint8_t* drops = m_Drops.data();
    for (int32_t start = 0; start < m_Page.width; start += kPeriod) {
        const int32_t n = std::min(kPeriod, m_Page.width - start);
        // Light pixels by the mask, interiors by the dither, edges kept.
        for (int32_t i = 0; i < n; ++i)
            drops[start + i] =
                static_cast<uint8_t>(((dark[start + i] ^ 1) & maskDrops[i]) | (interior[start + i] & dither[i]));
    }
    return drops;
}
