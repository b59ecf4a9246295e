#include "MicrLineFinder.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace {

// E-13B as the standard fixes it, and the slack a printed page needs.
constexpr double kCharHeight = 0.117;
constexpr double kPitch = 0.125;
constexpr double kMinCharHeight = 0.095;
constexpr double kMaxCharHeight = 0.140;
constexpr double kMinCharWidth = 0.035;  // the narrowest digit is wider than a bar or a rule end
constexpr double kMaxCharWidth = 0.100;
constexpr double kMaxCharFill = 0.85;  // a solid block is a bar, not a character
constexpr double kPitchSlack = 0.02;
constexpr double kBaselineSlack = 0.025;
constexpr double kMaxSlope = 0.0262;    // tan 1.5 degrees: lines come skewed by up to 1
constexpr int32_t kMaxGapPitches = 12;  // blanks and symbols between two digits of one line
constexpr int32_t kMinChars = 6;        // the routing field alone has nine digits
constexpr double kMinPart = 0.017;      // smaller blobs are specks, not parts of a symbol
constexpr double kSpeckReach = 0.02;
constexpr double kClearAbove = 0.10;  // the clear band runs to 5/8 inch above the cheque's edge
constexpr double kClearBelow = 0.06;  // and the baseline is 3/16 inch above it
constexpr double kMargin = 1.0 / 32;

constexpr int32_t kMinDpi = 50;
constexpr int32_t kMaxDpi = 4800;
// A page with more cells or ink fragments than this is no cheque: no answer
// rather than unbounded memory.
constexpr int64_t kMaxCells = int64_t{16} << 20;
constexpr size_t kMaxRuns = size_t{4} << 20;

int32_t Root(std::vector<int32_t>& parent, int32_t i)
{
    while (parent[i] != i) {
        parent[i] = parent[parent[i]];
        i = parent[i];
    }
    return i;
}

void Unite(std::vector<int32_t>& parent, int32_t a, int32_t b)
{
    a = Root(parent, a);
    b = Root(parent, b);
    if (a != b) parent[std::max(a, b)] = std::min(a, b);
}

}  // namespace

MicrLineFinder::MicrLineFinder(const InkMap& page, int32_t dpi) : m_Page(page), m_Dpi(dpi) { }

std::vector<CodeLineBox> MicrLineFinder::Find()
{
    std::vector<CodeLineBox> lines;
    if (!m_Page.IsValid() || m_Dpi < kMinDpi || m_Dpi > kMaxDpi) return lines;
    m_Cell = std::max(1, m_Dpi / 100);
    m_CellsPerInch = static_cast<double>(m_Dpi) / m_Cell;
    if (!ReadGrid()) return lines;
    JoinBlobs();
    for (const auto& chain : Chains()) {
        CodeLineBox box{};
        if (Accept(chain, &box)) lines.push_back(box);
    }
    std::sort(lines.begin(), lines.end(), [](const CodeLineBox& a, const CodeLineBox& b) {
        return a.top != b.top ? a.top < b.top : a.left < b.left;
    });
    if (lines.size() > static_cast<size_t>(kMaxLines)) lines.resize(kMaxLines);
    return lines;
}

bool MicrLineFinder::ReadGrid()
{
    m_GridWidth = m_Page.Width() / m_Cell;
    m_GridHeight = m_Page.Height() / m_Cell;
    if (m_GridWidth < 1 || m_GridHeight < 1 || int64_t{m_GridWidth} * m_GridHeight > kMaxCells) return false;
    std::vector<uint8_t> ink(static_cast<size_t>(m_GridWidth));
    m_RowStart.assign(static_cast<size_t>(m_GridHeight) + 1, 0);
    const int32_t half = m_Cell / 2;
    for (int32_t y = 0; y < m_GridHeight; ++y) {
        m_RowStart[y] = static_cast<int32_t>(m_Runs.size());
        m_Page.SampleRow(y * m_Cell + half, half, m_Cell, m_GridWidth, ink.data());
        for (int32_t x = 0; x < m_GridWidth;) {
            if (ink[x] == 0) {
                ++x;
                continue;
            }
            const int32_t start = x;
            while (x < m_GridWidth && ink[x] != 0) ++x;
            if (m_Runs.size() >= kMaxRuns) return false;
            m_Runs.push_back({y, start, x - 1});
        }
    }
    m_RowStart[m_GridHeight] = static_cast<int32_t>(m_Runs.size());
    return true;
}

void MicrLineFinder::JoinBlobs()
{
    const auto runCount = static_cast<int32_t>(m_Runs.size());
    std::vector<int32_t> parent(m_Runs.size());
    std::iota(parent.begin(), parent.end(), 0);
    // Runs touching a run of the row above, diagonals included, are one blob.
    for (int32_t y = 1; y < m_GridHeight; ++y) {
        int32_t above = m_RowStart[y - 1];
        const int32_t aboveEnd = m_RowStart[y];
        for (int32_t i = m_RowStart[y]; i < m_RowStart[y + 1]; ++i) {
            const Run& r = m_Runs[i];
            while (above < aboveEnd && m_Runs[above].x1 < r.x0 - 1) ++above;
            for (int32_t k = above; k < aboveEnd && m_Runs[k].x0 <= r.x1 + 1; ++k) Unite(parent, i, k);
        }
    }
    m_RunBlob.assign(m_Runs.size(), -1);
    std::vector<int32_t> blobOfRoot(m_Runs.size(), -1);
    for (int32_t i = 0; i < runCount; ++i) {
        const int32_t root = Root(parent, i);
        if (blobOfRoot[root] < 0) {
            blobOfRoot[root] = static_cast<int32_t>(m_Blobs.size());
            m_Blobs.push_back({m_Runs[i].x0, m_Runs[i].x1, m_Runs[i].y, m_Runs[i].y, 0});
        }
        Blob& b = m_Blobs[blobOfRoot[root]];
        const Run& r = m_Runs[i];
        b.minX = std::min(b.minX, r.x0);
        b.maxX = std::max(b.maxX, r.x1);
        b.minY = std::min(b.minY, r.y);
        b.maxY = std::max(b.maxY, r.y);
        b.cells += r.x1 - r.x0 + 1;
        m_RunBlob[i] = blobOfRoot[root];
    }
}

std::vector<std::vector<int32_t>> MicrLineFinder::Chains() const
{
    std::vector<int32_t> chars;
    for (int32_t i = 0; i < static_cast<int32_t>(m_Blobs.size()); ++i) {
        const Blob& b = m_Blobs[i];
        if (b.Height() >= Inches(kMinCharHeight) && b.Height() <= Inches(kMaxCharHeight) &&
            b.Width() >= Inches(kMinCharWidth) && b.Width() <= Inches(kMaxCharWidth) &&
            static_cast<double>(b.cells) <= kMaxCharFill * b.Width() * b.Height())
            chars.push_back(i);
    }
    std::sort(chars.begin(), chars.end(),
              [&](int32_t a, int32_t b) { return m_Blobs[a].CenterX() < m_Blobs[b].CenterX(); });

    // Each character links to the next one on its baseline, if that one keeps the pitch.
    const auto n = static_cast<int32_t>(chars.size());
    std::vector<int32_t> next(chars.size(), -1);
    std::vector<uint8_t> hasPrevious(chars.size(), 0);
    const double pitch = Inches(kPitch);
    for (int32_t i = 0; i < n; ++i) {
        const Blob& a = m_Blobs[chars[i]];
        for (int32_t j = i + 1; j < n; ++j) {
            const Blob& b = m_Blobs[chars[j]];
            const double dx = b.CenterX() - a.CenterX();
            if (dx > pitch * kMaxGapPitches + Inches(kPitchSlack)) break;
            if (std::abs(b.maxY - a.maxY) > Inches(kBaselineSlack) + dx * kMaxSlope) continue;
            const double steps = std::round(dx / pitch);
            if (steps >= 1 && std::abs(dx - steps * pitch) <= Inches(kPitchSlack) && hasPrevious[j] == 0) {
                next[i] = j;
                hasPrevious[j] = 1;
            }
            break;
        }
    }
    std::vector<std::vector<int32_t>> chains;
    for (int32_t i = 0; i < n; ++i) {
        if (hasPrevious[i] != 0) continue;
        std::vector<int32_t> chain;
        for (int32_t k = i; k >= 0; k = next[k]) chain.push_back(chars[k]);
        if (static_cast<int32_t>(chain.size()) >= kMinChars) chains.push_back(std::move(chain));
    }
    return chains;
}

bool MicrLineFinder::IsPart(const Blob& b) const
{
    const double minPart = std::max(2.0, Inches(kMinPart));
    // A speck touching a character makes it a little larger, no more.
    return (b.Width() >= minPart || b.Height() >= minPart) && b.Width() <= Inches(kMaxCharWidth + kSpeckReach) &&
           b.Height() <= Inches(kMaxCharHeight + kSpeckReach);
}

bool MicrLineFinder::Accept(const std::vector<int32_t>& chain, CodeLineBox* box) const
{
    // Least-squares baseline through the characters' bottoms.
    double meanX = 0, meanY = 0;
    for (const int32_t i : chain) {
        meanX += m_Blobs[i].CenterX();
        meanY += m_Blobs[i].maxY;
    }
    meanX /= static_cast<double>(chain.size());
    meanY /= static_cast<double>(chain.size());
    double sxy = 0, sxx = 0;
    for (const int32_t i : chain) {
        const double dx = m_Blobs[i].CenterX() - meanX;
        sxy += dx * (m_Blobs[i].maxY - meanY);
        sxx += dx * dx;
    }
    const Baseline line{meanX, meanY, sxx > 0 ? sxy / sxx : 0.0};
    if (std::abs(line.slope) > kMaxSlope) return false;
    for (const int32_t i : chain)
        if (std::abs(m_Blobs[i].maxY - line.At(m_Blobs[i].CenterX())) > Inches(kBaselineSlack)) return false;

    // Every part standing in the band near the chain belongs to the line:
    // symbols, narrow bars and characters the chain skipped.
    const double slack = Inches(kBaselineSlack);
    const double reach = 1.5 * Inches(kPitch);
    std::vector<uint8_t> member(m_Blobs.size(), 0);
    int32_t x0 = m_Blobs[chain.front()].minX, x1 = m_Blobs[chain.back()].maxX;
    for (const int32_t i : chain) member[i] = 1;
    std::vector<int32_t> band;
    for (int32_t i = 0; i < static_cast<int32_t>(m_Blobs.size()); ++i) {
        const Blob& b = m_Blobs[i];
        const double bottom = line.At(b.CenterX());
        if (member[i] == 0 && IsPart(b) && b.maxY <= bottom + slack && b.minY >= bottom - Inches(kCharHeight) - slack)
            band.push_back(i);
    }
    for (bool grew = true; grew;) {
        grew = false;
        for (const int32_t i : band) {
            const Blob& b = m_Blobs[i];
            if (member[i] != 0 || b.maxX < x0 - reach || b.minX > x1 + reach) continue;
            member[i] = 1;
            x0 = std::min(x0, b.minX);
            x1 = std::max(x1, b.maxX);
            grew = true;
        }
    }
    if (!BandIsClear(line, member, x0, x1)) return false;

    int32_t minY = m_GridHeight, maxY = -1;
    for (int32_t i = 0; i < static_cast<int32_t>(m_Blobs.size()); ++i)
        if (member[i] != 0) {
            minY = std::min(minY, m_Blobs[i].minY);
            maxY = std::max(maxY, m_Blobs[i].maxY);
        }
    *box = Measure(x0, minY, x1, maxY);
    return true;
}

bool MicrLineFinder::BandIsClear(const Baseline& line, const std::vector<uint8_t>& member, int32_t x0, int32_t x1) const
{
    const double minPart = std::max(2.0, Inches(kMinPart));
    const double above = Inches(kCharHeight + kClearAbove);
    const double below = Inches(kClearBelow);
    const double low = std::min(line.At(x0), line.At(x1));
    const double high = std::max(line.At(x0), line.At(x1));
    const auto yFrom = static_cast<int32_t>(std::max(0.0, std::floor(low - above)));
    const auto yTo = static_cast<int32_t>(std::min<double>(m_GridHeight - 1, std::ceil(high + below)));
    for (int32_t y = yFrom; y <= yTo; ++y)
        for (int32_t i = m_RowStart[y]; i < m_RowStart[y + 1]; ++i) {
            const Run& r = m_Runs[i];
            const Blob& b = m_Blobs[m_RunBlob[i]];
            if (r.x1 < x0 || r.x0 > x1 || member[m_RunBlob[i]] != 0) continue;
            if (b.Width() < minPart && b.Height() < minPart) continue;  // a speck
            for (int32_t x = std::max(r.x0, x0); x <= std::min(r.x1, x1); ++x) {
                const double bottom = line.At(x);
                if (y >= bottom - above && y <= bottom + below) return false;
            }
        }
    return true;
}

CodeLineBox MicrLineFinder::Measure(int32_t minX, int32_t minY, int32_t maxX, int32_t maxY) const
{
    // A blob's pixels lie within one cell of its sampled cells: find the
    // outermost ink pixel in that ring on each side.
    const int32_t s = m_Cell;
    const int32_t w = m_Page.Width(), h = m_Page.Height();
    const int32_t wx0 = std::max(0, (minX - 1) * s), wx1 = std::min(w - 1, (maxX + 2) * s - 1);
    const int32_t wy0 = std::max(0, (minY - 1) * s), wy1 = std::min(h - 1, (maxY + 2) * s - 1);
    const int32_t innerX0 = std::min(wx1, (minX + 1) * s), innerX1 = std::max(wx0, maxX * s);
    const int32_t innerY0 = std::min(wy1, (minY + 1) * s), innerY1 = std::max(wy0, maxY * s);
    int32_t left = innerX0, right = innerX1, top = innerY0, bottom = innerY1;
    for (int32_t y = wy0; y <= wy1; ++y) {
        for (int32_t x = wx0; x < left; ++x)
            if (m_Page.IsInk(x, y)) left = x;
        for (int32_t x = wx1; x > right; --x)
            if (m_Page.IsInk(x, y)) right = x;
    }
    for (int32_t x = wx0; x <= wx1; ++x) {
        for (int32_t y = wy0; y < top; ++y)
            if (m_Page.IsInk(x, y)) top = y;
        for (int32_t y = wy1; y > bottom; --y)
            if (m_Page.IsInk(x, y)) bottom = y;
    }
    const auto margin = static_cast<int32_t>(std::lround(m_Dpi * kMargin));
    return {std::max(0, left - margin), std::max(0, top - margin), std::min(w - 1, right + margin),
            std::min(h - 1, bottom + margin)};
}
