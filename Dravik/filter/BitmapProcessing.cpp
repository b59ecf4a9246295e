#include "BitmapProcessing.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "AppEnvironment.h"
#include "Bitmap.h"
#include "CodeLocator.h"
#include "LegibleThinning.h"
#include "Log.h"
#include "LoggedError.h"
#include "PageView.h"
#include "SavingsMasks.h"

namespace {

constexpr int32_t kMaskRows = SavingsMasks::kRows;

constexpr int32_t kDefaultWhite = 244;
constexpr int32_t kDefaultBlack = 0;

// Every mask width divides this period, so one template row serves any column.
constexpr int32_t kPeriodPixels = SavingsMasks::kPeriodPixels;
constexpr int32_t kMaxBytesPerPixel = 4;
constexpr int32_t kPeriodBytes = kPeriodPixels * kMaxBytesPerPixel;

// Per mask row, byte templates over one period: a dropped pixel's bytes are
// (b & 0) | fill, a kept pixel's (b & 0xFF) | 0.
struct RowTemplate {
    uint8_t keep[kPeriodBytes];
    uint8_t fill[kPeriodBytes];
    uint8_t drop[kPeriodPixels];              // 1 where the pixel is dropped
    uint16_t dropsBefore[kPeriodPixels + 1];  // dropped pixels left of each column
};

// Statistics count a block of one colour at once: pages are mostly paper.
constexpr int32_t kRunBlock = 16;

struct Span {
    int32_t first;
    int32_t last;  // inclusive
};

// Column spans of the regions that cover page row y, sorted and merged.
int32_t ProtectedSpans(const MicrRegion* regions, int32_t count, int32_t y, int32_t width, Span* spans)
{
    int32_t n = 0;
    for (int32_t i = 0; i < count; ++i) {
        const MicrRegion& r = regions[i];
        if (y < r.top || y > r.bottom || r.right < 0 || r.left >= width || r.left > r.right) continue;
        spans[n++] = {std::max(r.left, 0), std::min(r.right, width - 1)};
    }
    // A few dozen entries at most: an insertion sort is all it takes.
    for (int32_t i = 1; i < n; ++i) {
        const Span s = spans[i];
        int32_t j = i;
        for (; j > 0 && spans[j - 1].first > s.first; --j) spans[j] = spans[j - 1];
        spans[j] = s;
    }
    int32_t merged = 0;
    for (int32_t i = 0; i < n; ++i) {
        if (merged > 0 && spans[i].first <= spans[merged - 1].last + 1)
            spans[merged - 1].last = std::max(spans[merged - 1].last, spans[i].last);
        else
            spans[merged++] = spans[i];
    }
    return merged;
}

// Colour-index counts of an 8-bit page: slot 2v counts kept or protected
// pixels of index v, slot 2v+1 dropped ones. Four interleaved tables keep runs
// of one colour from serialising on a single counter.
struct Histogram {
    uint32_t counts[4][512];
    uint64_t All(int v) const
    {
        uint64_t s = 0;
        for (const auto& c : counts) s += c[2 * v] + c[2 * v + 1];
        return s;
    }
    uint64_t Dropped(int v) const
    {
        uint64_t s = 0;
        for (const auto& c : counts) s += c[2 * v + 1];
        return s;
    }
};

class PageFilter {
public:
    // darkened: what each byte value of a protected pixel becomes when darkening.
    PageFilter(const SavingsMask& mask, int32_t bytesPerPixel, int32_t white, const uint8_t* darkened, bool darken)
        : m_P(bytesPerPixel), m_Darken(darken), m_White(static_cast<uint8_t>(bytesPerPixel == 3 ? 255 : white))
    {
        std::memcpy(m_Darkened, darkened, sizeof(m_Darkened));
        const uint8_t whiteValue = m_White;
        for (int32_t row = 0; row < kMaskRows; ++row) {
            RowTemplate& t = m_Rows[row];
            t.dropsBefore[0] = 0;
            for (int32_t x = 0; x < kPeriodPixels; ++x) {
                const bool keep = mask.rows[row][x % mask.cols] == '1';
                t.drop[x] = keep ? 0 : 1;
                t.dropsBefore[x + 1] = static_cast<uint16_t>(t.dropsBefore[x] + t.drop[x]);
                for (int32_t k = 0; k < m_P; ++k) {
                    t.keep[x * m_P + k] = keep ? 0xFF : 0x00;
                    t.fill[x * m_P + k] = keep ? 0 : whiteValue;
                }
            }
        }
    }

    // Columns [first, end) of one stored row, none of them protected.
    void Thin(uint8_t* row, int32_t storedRow, int32_t first, int32_t end, Histogram* histogram) const
    {
        const RowTemplate& t = m_Rows[storedRow % kMaskRows];
        for (int32_t x = first; x < end;) {
            const int32_t phase = x % kPeriodPixels;
            const int32_t n = std::min(end - x, kPeriodPixels - phase);
            uint8_t* bytes = row + static_cast<size_t>(x) * m_P;
            if (histogram != nullptr) Count(t, phase, bytes, n, *histogram);
            const uint8_t* keep = t.keep + phase * m_P;
            const uint8_t* fill = t.fill + phase * m_P;
            const int32_t count = n * m_P;
            for (int32_t i = 0; i < count; ++i) bytes[i] = static_cast<uint8_t>((bytes[i] & keep[i]) | fill[i]);
            x += n;
        }
    }

    // Columns [first, end) of one stored row, none of them protected, by
    // per-pixel drop flags of the whole row.
    void ThinBy(uint8_t* row, const uint8_t* drops, int32_t first, int32_t end, Histogram* histogram) const
    {
        if (histogram != nullptr) CountBy(row + first, drops + first, end - first, *histogram);
        if (m_P == 1) {
            for (int32_t x = first; x < end; ++x) row[x] = drops[x] != 0 ? m_White : row[x];
            return;
        }
        for (int32_t x = first; x < end; ++x) {
            uint8_t* bytes = row + static_cast<size_t>(x) * m_P;
            for (int32_t k = 0; k < m_P; ++k) bytes[k] = drops[x] != 0 ? m_White : bytes[k];
        }
    }

    // Whether a block of kRunBlock bytes is all v: word compares instead of byte compares.
    static bool Uniform(const uint8_t* bytes, uint8_t v)
    {
        uint64_t words[kRunBlock / 8];
        std::memcpy(words, bytes, sizeof words);
        const uint64_t same = v * 0x0101010101010101ull;
        bool uniform = true;
        for (const uint64_t word : words) uniform &= word == same;
        return uniform;
    }

    // Statistics of n one-byte pixels by their drop flags.
    static void CountBy(const uint8_t* bytes, const uint8_t* drops, int32_t n, Histogram& histogram)
    {
        for (int32_t start = 0; start < n; start += kRunBlock) {
            const int32_t end = std::min(n, start + kRunBlock);
            const uint8_t v = bytes[start];
            if (end - start == kRunBlock && Uniform(bytes + start, v)) {
                uint32_t dropped = 0;
                for (int32_t i = start; i < end; ++i) dropped += drops[i];
                histogram.counts[0][v * 2 + 1] += dropped;
                histogram.counts[0][v * 2] += static_cast<uint32_t>(end - start) - dropped;
                continue;
            }
            for (int32_t i = start; i < end; ++i) ++histogram.counts[i & 3][bytes[i] * 2 + drops[i]];
        }
    }

    // The mask's drop flags of a stored row over one period.
    const uint8_t* MaskDrops(int32_t storedRow) const { return m_Rows[storedRow % kMaskRows].drop; }

    // Statistics of n one-byte pixels starting at a phase of the period.
    static void Count(const RowTemplate& t, int32_t phase, const uint8_t* bytes, int32_t n, Histogram& histogram)
    {
        const uint8_t* drop = t.drop + phase;
        for (int32_t start = 0; start < n; start += kRunBlock) {
            const int32_t end = std::min(n, start + kRunBlock);
            const uint8_t v = bytes[start];
            bool uniform = true;
            if (end - start == kRunBlock) {
                uniform = Uniform(bytes + start, v);
            } else {
                for (int32_t i = start + 1; i < end; ++i) uniform &= bytes[i] == v;
            }
            if (uniform) {
                const int32_t dropped = t.dropsBefore[phase + end] - t.dropsBefore[phase + start];
                histogram.counts[0][v * 2 + 1] += static_cast<uint32_t>(dropped);
                histogram.counts[0][v * 2] += static_cast<uint32_t>(end - start - dropped);
                continue;
            }
            int32_t i = start;
            for (; i + 4 <= end; i += 4) {
                ++histogram.counts[0][bytes[i] * 2 + drop[i]];
                ++histogram.counts[1][bytes[i + 1] * 2 + drop[i + 1]];
                ++histogram.counts[2][bytes[i + 2] * 2 + drop[i + 2]];
                ++histogram.counts[3][bytes[i + 3] * 2 + drop[i + 3]];
            }
            for (; i < end; ++i) ++histogram.counts[0][bytes[i] * 2 + drop[i]];
        }
    }

    // Columns [first, last] of one stored row, all protected.
    void Protect(uint8_t* row, int32_t first, int32_t last, Histogram* histogram) const
    {
        uint8_t* bytes = row + static_cast<size_t>(first) * m_P;
        const int32_t pixels = last - first + 1;
        if (histogram != nullptr)
            for (int32_t i = 0; i < pixels; i += kPeriodPixels)
                Count(m_Protected, 0, bytes + i, std::min(kPeriodPixels, pixels - i), *histogram);
        if (!m_Darken) return;
        const int32_t count = pixels * m_P;
        for (int32_t i = 0; i < count; ++i) bytes[i] = m_Darkened[bytes[i]];
    }

private:
    int32_t m_P;
    bool m_Darken;
    uint8_t m_White;
    uint8_t m_Darkened[256];
    RowTemplate m_Rows[kMaskRows];
    RowTemplate m_Protected{};  // nothing dropped: the counts of protected pixels
};

int32_t Coverage(double sum, double pixels)
{
    return static_cast<int32_t>(10000.0 * sum / pixels);
}

}  // namespace

void RgbToCmyk(int32_t red, int32_t green, int32_t blue, double* cyan, double* magenta, double* yellow, double* black)
{
    double c = 1 - red / 255.0;
    double m = 1 - green / 255.0;
    double y = 1 - blue / 255.0;
    double k = 1.0;
    if (c < k) k = c;
    if (m < k) k = m;
    if (y < k) k = y;
    if (k == 1.0) {
        c = m = y = 0;
    } else {
        c = (c - k) / (1 - k);
        m = (m - k) / (1 - k);
        y = (y - k) / (1 - k);
    }
    *cyan = c;
    *magenta = m;
    *yellow = y;
    *black = k;
}

UsageDetails* ProcessBitmap(HBITMAP hBitmap, const AppEnvironment* env, int32_t resolution, int32_t micr)
{
    if (env == nullptr) return nullptr;
    bool statistics = env->AdvUsageStat > 0;
    const int32_t level = SavingsMasks::Level(env->SavingsPercentage);
    if (level < 0) return nullptr;

    BITMAP bm{};
    if (GetObjectA(hBitmap, sizeof(bm), &bm) != static_cast<int>(sizeof(bm))) THROW_LOGGED("Invalid Bitmap.");
    if (bm.bmBits == nullptr) THROW_LOGGED("Unsupported Bitmap.");
    // The loop below trusts width, height and stride: they must describe the section's own memory.
    if (bm.bmWidth <= 0 || bm.bmHeight <= 0 || DibStride(bm.bmWidth, bm.bmBitsPixel) != bm.bmWidthBytes ||
        static_cast<size_t>(bm.bmHeight) * static_cast<size_t>(bm.bmWidthBytes) > hBitmap->imageBytes)
        THROW_LOGGED("Invalid Bitmap.");
    const int32_t width = bm.bmWidth;
    const int32_t height = bm.bmHeight;
    const int32_t bytesPerPixel = bm.bmBitsPixel / 8;
    if (bytesPerPixel > kMaxBytesPerPixel) THROW_LOGGED("Invalid Bitmap.");

    int32_t colors = 0;
    std::unique_ptr<RGBQUAD, decltype(&std::free)> table(GetBitmapColorTable(hBitmap, &colors), &std::free);
    int32_t white = FindBrightestColor(table.get(), colors);
    int32_t black = FindDarkestColor(table.get(), colors);
    // A palette page is darkened by its colours' brightness, not by index
    // values: on a colour cube a low index is any colour with little red.
    const bool byColour = white >= 0 && black >= 0 && bytesPerPixel == 1;
    if (white < 0) white = kDefaultWhite;
    if (black < 0) black = kDefaultBlack;
    uint8_t darkened[256];
    const int32_t threshold = (white - black) / 2;
    const int32_t middle = byColour ? (Brightness(table.get()[white]) + Brightness(table.get()[black])) / 2 : 0;
    for (int32_t v = 0; v < 256; ++v) {
        const bool dark = byColour ? v < colors && Brightness(table.get()[v]) < middle : v < threshold;
        darkened[v] = dark ? static_cast<uint8_t>(bytesPerPixel == 3 ? 0 : black) : static_cast<uint8_t>(v);
    }

    // Brightness of each one-byte value, for finding codes and shapes.
    uint8_t grey[256];
    for (int32_t v = 0; v < 256; ++v)
        grey[v] = static_cast<uint8_t>(table != nullptr && v < colors ? Brightness(table.get()[v]) / 3 : v);

    double fraction[4][256];
    statistics = statistics && table != nullptr && bytesPerPixel == 1;
    if (statistics) {
        for (auto& ink : fraction) std::fill(std::begin(ink), std::end(ink), 1.0);
        for (int32_t i = 0; i < std::min(colors, 256); ++i) {
            const RGBQUAD& c = table.get()[i];
            RgbToCmyk(c.rgbRed, c.rgbGreen, c.rgbBlue, &fraction[0][i], &fraction[1][i], &fraction[2][i],
                      &fraction[3][i]);
        }
    }
    table.reset();

    const PageView view{static_cast<uint8_t*>(bm.bmBits), width, height, bm.bmWidthBytes, bytesPerPixel,
                        hBitmap->ds.dsBmih.biHeight > 0,  grey};
    // Pixels the rows can read as brightness: 8-bit, 24-bit and 32-bit pages.
    const bool readable = bytesPerPixel == 1 || bytesPerPixel >= 3;

    constexpr int32_t kMaxRegions = kMaxMicrRegions + CodeLocator::kMaxRegions;
    MicrRegion regions[kMaxRegions];
    int32_t regionCount = 0;
    if (micr != 0) regionCount = MicrLocator(env->InstallDir).Locate(hBitmap, resolution, regions);
    if (env->ProtectCodes != 0 && readable) regionCount += CodeLocator::Locate(view, resolution, regions + regionCount);

    std::unique_ptr<Histogram> histogram;
    if (statistics) histogram = std::make_unique<Histogram>();
    Histogram* counts = histogram.get();

    if (bytesPerPixel > 0) {
        const auto filter = std::make_unique<PageFilter>(SavingsMasks::kTable[level], bytesPerPixel, white, darkened,
                                                         env->EnhancedMicrLineQuality != 0);
        std::unique_ptr<LegibleThinning> legible;
        if (env->SavingsStyle == 1 && readable)
            legible = std::make_unique<LegibleThinning>(view, LegibleThinning::EdgeWidth(resolution),
                                                        SavingsMasks::Percentage(level) / 100.0);
        else if (env->SavingsStyle == 1)
            LogMessage(1, "The legible saving needs 8, 24 or 32 bits a pixel; this page is thinned by the mask.\r\n");
        Span spans[kMaxRegions];
        for (int32_t r = 0; r < height; ++r) {
            uint8_t* row = view.Row(r);
            const int32_t y = view.StoredRow(r);  // the same mapping both ways
            const int32_t n = regionCount == 0 ? 0 : ProtectedSpans(regions, regionCount, y, width, spans);
            const uint8_t* drops = legible ? legible->DropRow(r, filter->MaskDrops(r)) : nullptr;
            const auto thin = [&](int32_t first, int32_t end) {
                if (drops != nullptr)
                    filter->ThinBy(row, drops, first, end, counts);
                else
                    filter->Thin(row, r, first, end, counts);
            };
            int32_t x = 0;
            for (int32_t i = 0; i < n; ++i) {
                thin(x, spans[i].first);
                filter->Protect(row, spans[i].first, spans[i].last, counts);
                x = spans[i].last + 1;
            }
            thin(x, width);
        }
    }
    if (counts == nullptr) return nullptr;

    double before[4] = {};
    double dropped[4] = {};
    for (int v = 0; v < 256; ++v) {
        const auto all = static_cast<double>(counts->All(v));
        const auto gone = static_cast<double>(counts->Dropped(v));
        for (int ink = 0; ink < 4; ++ink) {
            before[ink] += all * fraction[ink][v];
            dropped[ink] += gone * fraction[ink][v];
        }
    }
    auto* record = static_cast<UsageDetails*>(std::malloc(sizeof(UsageDetails)));
    if (record == nullptr) {
        LogMessage(2, "No memory for the usage record of a page; its statistics are left out.\r\n");
        return nullptr;
    }
    const double pixels = static_cast<double>(width) * height;
    record->CyanBefore = Coverage(before[0], pixels);
    record->CyanAfter = Coverage(before[0] - dropped[0], pixels);
    record->MagentaBefore = Coverage(before[1], pixels);
    record->MagentaAfter = Coverage(before[1] - dropped[1], pixels);
    record->YellowBefore = Coverage(before[2], pixels);
    record->YellowAfter = Coverage(before[2] - dropped[2], pixels);
    record->BlackBefore = Coverage(before[3], pixels);
    record->BlackAfter = Coverage(before[3] - dropped[3], pixels);
    return record;
}
