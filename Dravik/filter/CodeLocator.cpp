#include "CodeLocator.h"

#include <ZXing/ReadBarcode.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "CodeCandidates.h"
#include "IsolatedCall.h"
#include "Log.h"

namespace {

// A row of the reduced page counts as crossing bars when this share of its span is dark.
constexpr int32_t kBarShareInverse = 10;
constexpr int32_t kDark = 128;

// A part of the page reduced by `scale` in both directions, top row first:
// width x height pixels from (left, top) of the reduced page, each the mean
// brightness of its block. No division per pixel: it runs over every pixel
// of the part.
std::vector<uint8_t> Reduce(const PageView& page, int32_t scale, int32_t left, int32_t top, int32_t width,
                            int32_t height)
{
    std::vector<uint8_t> grey(static_cast<size_t>(width) * static_cast<size_t>(height));
    std::vector<uint32_t> sums(static_cast<size_t>(width));
    const uint32_t area = static_cast<uint32_t>(scale * scale);
    // The mean as a multiplication: (sum * inverse) >> 24 is sum / area for every sum up to 255 * area.
    const uint32_t inverse = ((1u << 24) + area - 1) / area;
    for (int32_t y = 0; y < height; ++y) {
        uint8_t* out = grey.data() + static_cast<size_t>(y) * static_cast<size_t>(width);
        if (scale == 1 && page.bytesPerPixel == 1) {
            const uint8_t* row = page.Row(page.StoredRow(top + y)) + left;
            for (int32_t x = 0; x < width; ++x) out[x] = page.grey[row[x]];
            continue;
        }
        std::fill(sums.begin(), sums.end(), 0);
        for (int32_t dy = 0; dy < scale; ++dy) {
            const uint8_t* row = page.Row(page.StoredRow((top + y) * scale + dy));
            for (int32_t x = 0, source = left * scale; x < width; ++x) {
                uint32_t sum = 0;
                for (int32_t dx = 0; dx < scale; ++dx, ++source) sum += page.Grey(row, source);
                sums[static_cast<size_t>(x)] += sum;
            }
        }
        for (int32_t x = 0; x < width; ++x)
            out[x] = static_cast<uint8_t>((static_cast<uint64_t>(sums[static_cast<size_t>(x)]) * inverse) >> 24);
    }
    return grey;
}

bool CrossesBars(const std::vector<uint8_t>& grey, int32_t width, int32_t y, int32_t left, int32_t right)
{
    const uint8_t* row = grey.data() + static_cast<size_t>(y) * static_cast<size_t>(width);
    int32_t dark = 0;
    for (int32_t x = left; x <= right; ++x) dark += row[x] < kDark ? 1 : 0;
    return dark * kBarShareInverse >= right - left + 1;
}

// Where results of the reduced page lie: their format and bounding box.
struct Found {
    ZXing::BarcodeFormat format;
    int32_t left, top, right, bottom;
};

// Results of a part of the reduced page, width x height with its top left
// corner at (left, top), into found in page coordinates.
void Collect(const ZXing::Results& results, int32_t left, int32_t top, int32_t width, int32_t height,
             std::vector<Found>& found)
{
    for (const ZXing::Result& result : results) {
        if (!result.isValid()) continue;
        Found f{result.format(), width, height, -1, -1};
        for (const ZXing::PointI& p : result.position()) {
            f.left = std::min(f.left, p.x);
            f.right = std::max(f.right, p.x);
            f.top = std::min(f.top, p.y);
            f.bottom = std::max(f.bottom, p.y);
        }
        f.left = std::clamp(f.left, 0, width - 1) + left;
        f.right = std::clamp(f.right, 0, width - 1) + left;
        f.top = std::clamp(f.top, 0, height - 1) + top;
        f.bottom = std::clamp(f.bottom, 0, height - 1) + top;
        // The same code seen again (by an overlapping band) is one code.
        const int32_t x = (f.left + f.right) / 2, y = (f.top + f.bottom) / 2;
        const bool seen = std::any_of(found.begin(), found.end(), [&](const Found& g) {
            return g.format == f.format && x >= g.left && x <= g.right && y >= g.top && y <= g.bottom;
        });
        if (!seen) found.push_back(f);
    }
}

// The page is a rendering, not a scan: its codes are dark on light with
// sharp edges, and a fixed threshold finds them at a fraction of the cost of
// a local one (which the band search would pay again for every band).
constexpr auto kBinarizer = ZXing::Binarizer::FixedThreshold;

// The decoder's Data Matrix search follows lines through the middle of the
// image: a symbol off the middle of a page is missed. Bands of the page, each
// centred a little lower, bring every symbol at least kBandStep tall to the
// middle of one. A symbol's solid side is a tall column of dark pixels: a
// band is searched only beside the columns where a dark run at least
// kMinEdgeMm long crosses its middle row, which passes over body text.
constexpr int32_t kBandStep = 32;
constexpr int32_t kBandHeight = 384;  // also the widest symbol looked for
constexpr double kMinEdgeMm = 3.0;

bool IsDark(const std::vector<uint8_t>& grey, int32_t width, int32_t x, int32_t y)
{
    return grey[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)] < kDark;
}

// Dark/light changes down column x over rows [top, bottom].
int32_t ColumnChanges(const std::vector<uint8_t>& grey, int32_t width, int32_t x, int32_t top, int32_t bottom)
{
    int32_t changes = 0;
    for (int32_t y = top + 1; y <= bottom; ++y) changes += IsDark(grey, width, x, y) != IsDark(grey, width, x, y - 1);
    return changes;
}

// A symbol's solid side faces its clock track: the opposite side, one
// symbol width away, alternates dark and light module by module. A filled
// shape (a bar of a chart, a block of colour) has a solid side but no clock.
constexpr int32_t kMinClockChanges = 6;

bool FacesAClock(const std::vector<uint8_t>& grey, int32_t width, int32_t x, int32_t top, int32_t bottom)
{
    const int32_t side = bottom - top;
    for (const int32_t opposite : {x + side, x - side})
        if (opposite >= 0 && opposite < width && ColumnChanges(grey, width, opposite, top, bottom) >= kMinClockChanges)
            return true;
    return false;
}

// Column spans [first, last] of row y that a symbol with a solid side crossing
// the row could cover: within kBandHeight of a column whose dark run through
// y is at least `tall` long and faces a clock track.
std::vector<std::pair<int32_t, int32_t>> SymbolSpans(const std::vector<uint8_t>& grey, int32_t width, int32_t height,
                                                     int32_t y, int32_t tall)
{
    std::vector<std::pair<int32_t, int32_t>> spans;
    for (int32_t x = 0; x < width; ++x) {
        if (!IsDark(grey, width, x, y)) continue;
        int32_t top = y, bottom = y;
        while (top > 0 && bottom - top + 1 < tall && IsDark(grey, width, x, top - 1)) --top;
        while (bottom < height - 1 && bottom - top + 1 < tall && IsDark(grey, width, x, bottom + 1)) ++bottom;
        if (bottom - top + 1 < tall) continue;
        // Long enough: the whole side, for the clock track's place.
        while (top > 0 && bottom - top < kBandHeight && IsDark(grey, width, x, top - 1)) --top;
        while (bottom < height - 1 && bottom - top < kBandHeight && IsDark(grey, width, x, bottom + 1)) ++bottom;
        if (!FacesAClock(grey, width, x, top, bottom)) continue;
        const int32_t first = std::max(0, x - kBandHeight), last = std::min(width - 1, x + kBandHeight);
        if (!spans.empty() && first <= spans.back().second + 1)
            spans.back().second = last;
        else
            spans.emplace_back(first, last);
    }
    return spans;
}

void FindDataMatrix(const std::vector<uint8_t>& grey, int32_t width, int32_t height, int32_t dpi,
                    std::vector<Found>& found)
{
    const auto tall = static_cast<int32_t>(kMinEdgeMm * dpi / 25.4);
    ZXing::DecodeHints hints;
    hints.setFormats(ZXing::BarcodeFormat::DataMatrix).setTryDownscale(false).setBinarizer(kBinarizer);
    for (int32_t middle = kBandStep / 2; middle < height; middle += kBandStep) {
        // The middle stays the middle: bands at the top and bottom are lower.
        const int32_t half = std::min({kBandHeight / 2, middle, height - middle});
        for (const auto& [first, last] : SymbolSpans(grey, width, height, middle, tall)) {
            const uint8_t* corner = grey.data() + static_cast<size_t>(middle - half) * static_cast<size_t>(width) +
                                    static_cast<size_t>(first);
            const ZXing::ImageView band(corner, last - first + 1, 2 * half, ZXing::ImageFormat::Lum, width);
            Collect(ZXing::ReadBarcodes(band, hints), first, middle - half, last - first + 1, 2 * half, found);
        }
    }
}

// DataBar, which labels of fresh food carry, stays out: Debian's 1.4 aborts
// on an assertion of its reader (zxing-cpp issue 516).
ZXing::BarcodeFormats SearchedFormats()
{
    using F = ZXing::BarcodeFormat;
    return F::Codabar | F::Code39 | F::Code93 | F::Code128 | F::EAN8 | F::EAN13 | F::ITF | F::UPCA | F::UPCE |
           F::MatrixCodes;
}

// The codes of a part of the reduced page (width x height from (left,
// top)), linear ones grown along their bars, into found in reduced page
// coordinates.
void Search(const PageView& page, int32_t resolution, int32_t scale, int32_t left, int32_t top, int32_t width,
            int32_t height, std::vector<Found>& found)
{
    const std::vector<uint8_t> grey = Reduce(page, scale, left, top, width, height);
    const ZXing::ImageView image(grey.data(), width, height, ZXing::ImageFormat::Lum);
    ZXing::DecodeHints hints;
    // No downscaled second look: the page is reduced already, and Debian's
    // 1.4 aborts on an assertion when it merges a linear code found on
    // both levels (zxing-cpp issue 740).
    hints.setFormats(SearchedFormats())
        .setTryHarder(true)
        .setTryRotate(true)
        .setTryDownscale(false)
        .setBinarizer(kBinarizer);
    std::vector<Found> part;
    Collect(ZXing::ReadBarcodes(image, hints), 0, 0, width, height, part);
    FindDataMatrix(grey, width, height, resolution / scale, part);
    for (Found& f : part) {
        // A linear code is reported by the scan lines that read it: its
        // bars reach further up and down.
        if (ZXing::BarcodeFormats(ZXing::BarcodeFormat::LinearCodes).testFlag(f.format)) {
            const int32_t reach = f.right - f.left + 1;
            for (int32_t n = 0; n < reach && f.top > 0 && CrossesBars(grey, width, f.top - 1, f.left, f.right); ++n)
                --f.top;
            for (int32_t n = 0;
                 n < reach && f.bottom < height - 1 && CrossesBars(grey, width, f.bottom + 1, f.left, f.right); ++n)
                ++f.bottom;
        }
        found.push_back({f.format, f.left + left, f.top + top, f.right + left, f.bottom + top});
    }
}

// The search runs in a copy of the process: other assertions of the
// decoder's (zxing-cpp issue 1154) would otherwise end the whole job.
constexpr int kSearchLimitMs = 30000;

bool SearchApart(const PageView& page, int32_t resolution, int32_t scale, int32_t width, int32_t height,
                 const std::vector<CodeCandidates::Area>& areas, std::vector<Found>& found)
{
    std::string bytes, failure;
    const bool done = IsolatedCall::Run(
        [&] {
            std::vector<Found> codes;
            for (const CodeCandidates::Area& a : areas) {
                const int32_t left = a.left / scale, top = a.top / scale;
                const int32_t right = std::min(width - 1, a.right / scale),
                              bottom = std::min(height - 1, a.bottom / scale);
                if (right >= left && bottom >= top)
                    Search(page, resolution, scale, left, top, right - left + 1, bottom - top + 1, codes);
            }
            return std::string(reinterpret_cast<const char*>(codes.data()), codes.size() * sizeof(Found));
        },
        kSearchLimitMs, bytes, failure);
    if (!done || bytes.size() % sizeof(Found) != 0) {
        LogMessage(2, "The search for codes on the page failed (%s); the page is thinned without them.\r\n",
                   done ? "a broken answer" : failure.c_str());
        return false;
    }
    found.resize(bytes.size() / sizeof(Found));
    if (!bytes.empty()) std::memcpy(found.data(), bytes.data(), bytes.size());
    // What comes back through the pipe is checked like any input.
    std::erase_if(found, [&](const Found& f) {
        const auto bits = static_cast<uint32_t>(f.format);
        return bits == 0 || (bits & (bits - 1)) != 0 || !SearchedFormats().testFlag(f.format) || f.left < 0 ||
               f.top < 0 || f.right >= width || f.bottom >= height || f.left > f.right || f.top > f.bottom;
    });
    return true;
}
}  // namespace

int32_t CodeLocator::Locate(const PageView& page, int32_t resolution, MicrRegion* regions, const char** kinds)
{
    const int32_t scale = std::max(1, resolution / kFindDpi);
    const int32_t width = page.width / scale;
    const int32_t height = page.height / scale;
    int32_t count = 0;
    const char* names[kMaxRegions];
    std::vector<Found> found;
    // Only the places whose shapes only codes make are decoded: on a page
    // without them the decoder never runs.
    const std::vector<CodeCandidates::Area> areas =
        width > 0 && height > 0 ? CodeCandidates::Find(page, resolution) : std::vector<CodeCandidates::Area>{};
    if (!areas.empty() && SearchApart(page, resolution, scale, width, height, areas, found)) {
        if (found.size() > static_cast<size_t>(kMaxRegions))
            LogMessage(1, "%zu codes found on the page; the first %d are kept whole, the others thinned.\r\n",
                       found.size(), kMaxRegions);
        for (const Found& f : found) {
            if (count == kMaxRegions) break;
            // The quiet zone: ten modules beside a linear code, a few around a
            // 2-D one; a fifth of the code's size covers both.
            const int32_t margin = (std::max(f.right - f.left, f.bottom - f.top) + 1) * scale / 5 + 2 * scale;
            regions[count] = {std::max(0, f.left * scale - margin), std::max(0, f.top * scale - margin),
                              std::min(page.width - 1, (f.right + 1) * scale - 1 + margin),
                              std::min(page.height - 1, (f.bottom + 1) * scale - 1 + margin)};
            names[count] = ZXing::ToString(f.format);
            if (kinds != nullptr) kinds[count] = names[count];
            ++count;
        }
    }
    if (gLogLevel == 0) {
        LogText("[Code Regions]\r\n");
        LogText("  - Bitmap(H/W) = %d, %d\r\n", page.height, page.width);
        for (int32_t i = 0; i < count; ++i)
            LogText("  - Region[%d] = (%d, %d, %d, %d) %s\r\n", i, regions[i].left, regions[i].top, regions[i].right,
                    regions[i].bottom, names[i]);
        LogText("\r\n");
    }
    return count;
}
