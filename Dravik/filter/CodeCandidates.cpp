#include "CodeCandidates.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <numeric>
#include <span>

#include "DarkEdges.h"

namespace {

// The decoder's fixed threshold: what it reads as dark, the search reads as dark.
constexpr uint8_t kDark = 128;

// The shapes looked for, in millimetres.
constexpr double kMinBarMm = 3.0;         // the shortest bars, and the shortest Data Matrix side
constexpr double kMaxBarWidthMm = 5.0;    // the widest bar: a PDF417 start bar of 0.6-mm modules
constexpr double kMaxSpaceMm = 3.0;       // the widest space between two bars of one code
constexpr double kEdgeToleranceMm = 0.3;  // the bars of one code start and end together within this
// Two pixels at 300 dpi: the smallest module looked for. A picture's dither
// makes finer patterns, and no printer and scanner read finer codes.
constexpr double kMinModuleMm = 0.17;
constexpr double kMaxModuleMm = 3.0;
constexpr double kMaxSideMm = 120.0;   // the longest bar or side followed
constexpr double kMaxMatrixMm = 40.0;  // the longest side of a Data Matrix
constexpr double kMarginMm = 3.0;      // room around a place, for the quiet zone
constexpr int32_t kMinBars = 4;        // a PDF417 start pattern has four
constexpr int32_t kBarSlack = 8;
constexpr int32_t kMinClockChanges = 6;
// A code's place reaches this many times its bars' height past them, for a
// PDF417 or a code of which only some bars were matched (the guard bars of
// an EAN-13 are longer than its digits').
constexpr int32_t kReachPerHeight = 10;
// Finders: a QR code's three give its corners, found together with about
// one module size (a version 40 symbol is 177 modules across); alone, a
// Micro QR's or an Aztec code's finder reaches this many modules around.
constexpr double kFinderGroupModules = 180.0;
constexpr double kFinderModuleSpread = 0.4;
constexpr int32_t kQrReachModules = 40;
constexpr int32_t kAztecReachModules = 80;
constexpr int32_t kFinderMarginModules = 8;
// With more places than this, or places covering more of the page than
// this share, the whole page is searched at once.
constexpr size_t kMaxAreas = 48;
// A page with more shapes than these, a pattern more than a document, is
// searched whole too: sorting them out would cost more.
constexpr size_t kMaxShapes = 20000;
constexpr size_t kMaxFinders = 64;
constexpr size_t kMaxUnmergedAreas = 512;
constexpr double kMaxAreaShare = 0.5;

struct Sizes {
    int32_t minStroke,  // the thinnest bar or side: a module's whole pixels
        minBar, maxBarWidth, maxSpace, tolerance, maxSide, maxMatrix, margin;
    double minModule, maxModule;
};

// What the scan sees of the page: which one-byte pixels are dark, and where
// its rows change between light and dark. Rows are found from the top row's
// address and the step from one to the next, which is negative for a page
// stored bottom row first: pixels are read millions of times a page.
struct Ink {
    const PageView& page;
    DarkEdges rows;
    const uint8_t* top = page.Row(page.StoredRow(0));
    std::ptrdiff_t down = page.bottomUp ? -std::ptrdiff_t{page.stride} : page.stride;

    const uint8_t* Row(int32_t y) const { return top + y * down; }
};

// A bar: columns [left, right) and rows [top, bottom] for one standing up;
// the same, rows and columns swapped, for one lying.
struct Bar {
    int32_t left, right, top, bottom;
};

bool DarkAt(const Ink& ink, const uint8_t* row, int32_t x)
{
    return ink.page.bytesPerPixel == 1 ? ink.rows.Dark(row[x]) : ink.page.Grey(row, x) < kDark;
}

bool Dark(const Ink& ink, int32_t x, int32_t y)
{
    return DarkAt(ink, ink.Row(y), x);
}

// Dark pixels from (x, y) on in direction (dx, dy) (each -1, 0 or 1), at
// most limit.
int32_t DarkRun(const Ink& ink, int32_t x, int32_t y, int32_t dx, int32_t dy, int32_t limit)
{
    const PageView& page = ink.page;
    if (x < 0 || y < 0 || x >= page.width || y >= page.height) return 0;
    // The steps to the page's edge: the walk then counts only its length.
    int32_t room = limit;
    if (dx != 0) room = std::min(room, dx > 0 ? page.width - x : x + 1);
    if (dy != 0) room = std::min(room, dy > 0 ? page.height - y : y + 1);
    int32_t length = 0;
    while (length < room && DarkAt(ink, ink.Row(y + length * dy), x + length * dx)) ++length;
    return length;
}

// Dark pixels from (x, y) on in direction (dx, dy) (one of them 0), at most
// limit, following a bar that leans by up to a pixel in four: a code may be
// printed a little turned, as a scanned label is. leaned, when given,
// receives how far the bar leaned in all.
int32_t FollowRun(const Ink& ink, int32_t x, int32_t y, int32_t dx, int32_t dy, int32_t limit,
                  int32_t* leaned = nullptr)
{
    const auto inside = [&](int32_t px, int32_t py) {
        return px >= 0 && py >= 0 && px < ink.page.width && py < ink.page.height;
    };
    // Across: the axis the bar may lean on.
    const int32_t ax = dy != 0 ? 1 : 0, ay = dx != 0 ? 1 : 0;
    int32_t lean = 0, length = 0;
    for (;;) {
        // Straight on while dark; at a light pixel, on from the dark one
        // beside it, the lean's own side tried first.
        const int32_t straight = DarkRun(ink, x, y, dx, dy, limit - length);
        length += straight, x += straight * dx, y += straight * dy;
        if (length >= limit || !inside(x, y)) break;
        const int32_t toward = lean < 0 ? -1 : 1;
        int32_t moved = 0;
        for (const int32_t side : {toward, -toward})
            if (moved == 0 && inside(x + side * ax, y + side * ay) && Dark(ink, x + side * ax, y + side * ay))
                moved = side;
        if (moved == 0 || 4 * std::abs(lean + moved) > length + 4) break;
        lean += moved;
        x += moved * ax + dx, y += moved * ay + dy;
        ++length;
    }
    if (leaned != nullptr) *leaned = lean;
    return length;
}

// Whether `length` pixels from (x, y) on in direction (dx, dy) take two
// values only, one dark and one light, but for `allowed` others: a renderer
// draws a code in one ink on one paper, while a picture's dither mixes many
// values. Pixels of three and four bytes are not told apart.
bool TwoTone(const Ink& ink, int32_t x, int32_t y, int32_t dx, int32_t dy, int32_t length, int32_t allowed)
{
    if (ink.page.bytesPerPixel != 1) return true;
    int32_t values[2] = {-1, -1}, others = 0;
    for (int32_t k = 0; k < length; ++k, x += dx, y += dy) {
        if (x < 0 || y < 0 || x >= ink.page.width || y >= ink.page.height) break;
        const uint8_t value = ink.Row(y)[x];
        int32_t& kept = values[ink.rows.Dark(value) ? 0 : 1];
        if (kept < 0) kept = value;
        if (kept != value && ++others > allowed) return false;
    }
    return true;
}

// Bars lying along row y, seen where their top edge crosses one of the
// columns looked at (a third of the shortest bar apart, so that every bar
// crosses two): each is taken at the first such column along it, followed
// both ways for its ends, and measured down for its thickness.
void FindLyingBars(const Ink& ink, int32_t y, int32_t step, std::span<const int32_t> edges, const Sizes& s,
                   std::vector<Bar>& lying)
{
    const int32_t apart = std::max(1, s.minBar / 3);
    for (size_t i = 0; i + 1 < edges.size(); i += 2) {
        // A bar's edge crosses a row over a quarter of its length at least,
        // however it leans; a letter's stroke seldom.
        if (4 * (edges[i + 1] - edges[i]) < s.minBar) continue;
        // Only the run's first column looked at may be a bar's first: from
        // any other the run reaches back past the column before.
        const int32_t x = (edges[i] + apart - 1) / apart * apart;
        if (x >= edges[i + 1] || (y >= step && Dark(ink, x, y - step))) continue;
        const int32_t back = FollowRun(ink, x, y, -1, 0, apart + 1);
        if (back > apart) continue;  // taken at an earlier column
        const int32_t length = back + FollowRun(ink, x, y, 1, 0, s.maxSide) - 1;
        if (length < s.minBar) continue;
        const int32_t thickness = DarkRun(ink, x, y, 0, 1, s.maxBarWidth + 1);
        if (thickness <= s.maxBarWidth) lying.push_back({y, y + thickness, x - back + 1, x - back + length});
    }
}

// The columns where row y changes between light and dark, from light at its
// left edge; a row ending dark ends with its width. edges has room for the
// width and one more. The row `ahead` rows below is fetched meanwhile: with
// rows skipped the processor does not foresee the rows read.
std::span<const int32_t> RowEdges(const Ink& ink, int32_t y, int32_t ahead, std::vector<int32_t>& edges)
{
    const PageView& page = ink.page;
    const uint8_t* row = ink.Row(y);
    if (page.bytesPerPixel == 1) {
        const uint8_t* next = y + ahead < page.height ? ink.Row(y + ahead) : nullptr;
        return {edges.data(), static_cast<size_t>(ink.rows.Find(row, page.width, edges.data(), next))};
    }
    size_t count = 0;
    bool inDark = false;
    for (int32_t x = 0; x < page.width; ++x)
        if ((page.Grey(row, x) < kDark) != inDark) {
            edges[count++] = x;
            inDark = !inDark;
        }
    if (inDark) edges[count++] = page.width;
    return {edges.data(), count};
}

// Areas grow by the quiet zone and stay on the page.
CodeCandidates::Area Clamp(const PageView& page, int64_t left, int64_t top, int64_t right, int64_t bottom)
{
    return {static_cast<int32_t>(std::max<int64_t>(0, left)), static_cast<int32_t>(std::max<int64_t>(0, top)),
            static_cast<int32_t>(std::min<int64_t>(page.width - 1, right)),
            static_cast<int32_t>(std::min<int64_t>(page.height - 1, bottom))};
}

// Whether a run of `width` pixels is `modules` modules within half a module,
// in a pattern of `units` modules `total` pixels long: |width * units -
// modules * total| <= modules * total / 2.
bool RunFits(int32_t width, int32_t modules, int32_t total, int32_t units)
{
    return 2 * std::abs(width * units - modules * total) <= modules * total;
}

// Widths against a pattern of module counts: each within half a module
// (times its count) of the module size they give, which lies in range.
// Whole numbers throughout: it runs for every dark run of every row.
bool FitsPattern(const int32_t* widths, const int32_t* modules, int32_t count, double minModule, double maxModule,
                 double& module)
{
    int32_t total = 0, units = 0;
    for (int32_t i = 0; i < count; ++i) {
        total += widths[i];
        units += modules[i];
    }
    for (int32_t i = 0; i < count; ++i)
        if (!RunFits(widths[i], modules[i], total, units)) return false;
    module = static_cast<double>(total) / units;
    return module >= minModule && module <= maxModule;
}

// The runs across a finder's centre, dark first, in modules. An Aztec code's
// outer ring runs on into its data, so only its inner rings are measured.
struct FinderShape {
    int32_t modules[9];
    int32_t runs;
    bool looseEnds;
    int32_t reach;  // modules from the centre to the far corner of the largest symbol
};
constexpr FinderShape kQrFinder{{1, 1, 3, 1, 1}, 5, false, kQrReachModules};
constexpr FinderShape kBullseye{{1, 1, 1, 1, 1, 1, 1, 1, 1}, 9, true, kAztecReachModules};

bool FitsShape(const int32_t* widths, const FinderShape& shape, double minModule, double maxModule, double& module)
{
    const int32_t loose = shape.looseEnds ? 1 : 0;
    if (!FitsPattern(widths + loose, shape.modules + loose, shape.runs - 2 * loose, minModule, maxModule, module))
        return false;
    return !shape.looseEnds || (widths[0] >= module / 2 && widths[shape.runs - 1] >= module / 2);
}

// Whether the line through (x, y) in direction (dx, dy), across a finder's
// centre seen on its row, shows the same shape with about the same module
// (in steps along the line: a diagonal crosses a square ring of one module
// in one module's steps). centre receives the middle of the centre run.
bool LineFits(const Ink& ink, int32_t x, int32_t y, int32_t dx, int32_t dy, const FinderShape& shape, double module,
              int32_t& centre)
{
    const auto at = [&](double steps, int32_t& px, int32_t& py) {
        px = x + static_cast<int32_t>(dx * steps), py = y + static_cast<int32_t>(dy * steps);
        return px >= 0 && py >= 0 && px < ink.page.width && py < ink.page.height;
    };
    const auto limit = static_cast<int32_t>(std::ceil(4 * module)) + 2;
    const int32_t middle = shape.runs / 2;
    // The centre no longer than the shape allows: a letter's stem is, and
    // is left after a few pixels.
    const auto most = static_cast<int32_t>(shape.modules[middle] * module * 3 / 2) + 2;
    const int32_t back = DarkRun(ink, x, y, -dx, -dy, most + 1), ahead = DarkRun(ink, x, y, dx, dy, most + 1);
    if (back + ahead - 1 > most) return false;
    // First a look at the middle of the first two runs beyond each end of
    // the centre: most shapes of text and pictures fail here.
    for (const auto& [end, side] : {std::pair{-back, -1}, {ahead, 1}}) {
        int32_t lx = 0, ly = 0, kx = 0, ky = 0;
        if (!at(end + side * (module / 2), lx, ly) || !at(end + side * (module * 3 / 2), kx, ky) || Dark(ink, lx, ly) ||
            !Dark(ink, kx, ky))
            return false;
    }
    int32_t widths[9]{};
    widths[middle] = back + ahead - 1;
    // Light and dark in turn beyond each end of the centre.
    const auto run = [&](int32_t from, int32_t step, bool dark) {
        int32_t n = 0, px = 0, py = 0;
        while (n < limit && at(from + step * n, px, py) && Dark(ink, px, py) == dark) ++n;
        return n;
    };
    for (int32_t k = 1, before = -back, after = ahead; k <= middle; ++k) {
        const bool dark = k % 2 == 0;
        widths[middle - k] = run(before, -1, dark);
        widths[middle + k] = run(after, 1, dark);
        before -= widths[middle - k];
        after += widths[middle + k];
    }
    centre = (ahead - back) / 2;
    double lineModule = 0;
    return FitsShape(widths, shape, module / 2, module * 2, lineModule);
}

struct Finder {
    int32_t x, y;
    double module;
    int32_t reach;
};

// The finders whose centre row is y: runs in the shape of a QR finder or an
// Aztec centre, the same down the column through the middle one. A finder
// is kept once however many of its rows show it.
void FindFinders(const Ink& ink, int32_t y, std::span<const int32_t> edges, const Sizes& s,
                 std::vector<Finder>& finders)
{
    for (const FinderShape* shape : {&kQrFinder, &kBullseye}) {
        const auto runs = static_cast<size_t>(shape->runs);
        // The runs a module is measured on, and their modules.
        const size_t loose = shape->looseEnds ? 1 : 0;
        const int32_t units = std::accumulate(shape->modules + loose, shape->modules + runs - loose, 0);
        for (size_t i = 0; i + runs < edges.size(); i += 2) {
            // A module no smaller than the smallest looked for, then the
            // centre and its neighbours: in text they seldom agree.
            const int32_t total = edges[i + runs - loose] - edges[i + loose];
            if (total < s.minStroke * units) continue;
            const size_t centre = i + runs / 2;
            const int32_t* modules = shape->modules + runs / 2;
            if (!RunFits(edges[centre + 1] - edges[centre], modules[0], total, units) ||
                !RunFits(edges[centre] - edges[centre - 1], modules[-1], total, units) ||
                !RunFits(edges[centre + 2] - edges[centre + 1], modules[1], total, units))
                continue;
            int32_t widths[9];
            for (size_t k = 0; k < runs; ++k) widths[k] = edges[i + k + 1] - edges[i + k];
            double module = 0;
            if (!FitsShape(widths, *shape, s.minModule, s.maxModule, module)) continue;
            const int32_t x = (edges[centre] + edges[centre + 1] - 1) / 2;
            const bool known = std::any_of(finders.begin(), finders.end(), [&](const Finder& f) {
                return std::abs(f.x - x) <= 7 * f.module && std::abs(f.y - y) <= 7 * f.module;
            });
            // Down the column, then along a diagonal through the centre the
            // column gives: noise in a picture seldom passes all three. Last,
            // the row in two tones, as a renderer draws a code.
            int32_t down = 0, along = 0;
            if (!known && LineFits(ink, x, y, 0, 1, *shape, module, down) &&
                LineFits(ink, x, y + down, 1, 1, *shape, module, along) &&
                TwoTone(ink, edges[i], y, 1, 0, edges[i + runs] - edges[i], shape->runs))
                finders.push_back({x, y + down, module, shape->reach});
        }
    }
}

// A finder found with others of about its module size gives the place of
// their symbol, the box of their centres; a finder alone, its reach.
void AddFinderAreas(const PageView& page, const std::vector<Finder>& finders, const Sizes& s,
                    std::vector<CodeCandidates::Area>& areas)
{
    std::vector<bool> taken(finders.size());
    for (size_t i = 0; i < finders.size(); ++i) {
        if (taken[i]) continue;
        const Finder& f = finders[i];
        int64_t left = f.x, top = f.y, right = f.x, bottom = f.y;
        int32_t members = 1;
        for (size_t j = i + 1; j < finders.size(); ++j) {
            const Finder& g = finders[j];
            const double module = std::max(f.module, g.module), reach = kFinderGroupModules * module;
            if (taken[j] || g.reach != f.reach || std::abs(f.module - g.module) > kFinderModuleSpread * module ||
                std::abs(g.x - f.x) > reach || std::abs(g.y - f.y) > reach)
                continue;
            taken[j] = true;
            ++members;
            left = std::min<int64_t>(left, g.x), right = std::max<int64_t>(right, g.x);
            top = std::min<int64_t>(top, g.y), bottom = std::max<int64_t>(bottom, g.y);
        }
        const auto reach = static_cast<int64_t>((members > 1 ? kFinderMarginModules : f.reach) * f.module) + s.margin;
        areas.push_back(Clamp(page, left - reach, top - reach, right + reach, bottom + reach));
    }
}

// The groups of bars that stand side by side with their ends level, each
// given as its members' indices, bars sorted by left edge. Lying bars come
// with rows and columns swapped, so one grouping serves both.
std::vector<std::vector<size_t>> LevelGroups(std::vector<Bar>& bars, const Sizes& s)
{
    std::sort(bars.begin(), bars.end(), [](const Bar& a, const Bar& b) { return a.left < b.left; });
    std::vector<size_t> parent(bars.size());
    std::iota(parent.begin(), parent.end(), 0);
    const auto root = [&](size_t i) {
        while (parent[i] != i) i = parent[i] = parent[parent[i]];
        return i;
    };
    for (size_t i = 0; i < bars.size(); ++i)
        for (size_t j = i + 1; j < bars.size() && bars[j].left <= bars[i].right + s.maxSpace; ++j)
            if (bars[j].left >= bars[i].right && std::abs(bars[j].top - bars[i].top) <= s.tolerance &&
                std::abs(bars[j].bottom - bars[i].bottom) <= s.tolerance)
                parent[root(j)] = root(i);
    std::vector<std::vector<size_t>> groups(bars.size());
    for (size_t i = 0; i < bars.size(); ++i) groups[root(i)].push_back(i);
    std::erase_if(groups, [](const std::vector<size_t>& g) { return g.size() < static_cast<size_t>(kMinBars); });
    return groups;
}

// The dark runs crossing the line through the middle of a group's bars
// between its outer edges, and of those the ones that start where one of the
// bars does: a code's bars are all there is; text has its short letters too,
// and in a picture's grain the runs fall anywhere.
struct Crossing {
    int32_t runs = 0, matched = 0;
};

Crossing CrossMiddle(const Ink& ink, const std::vector<Bar>& bars, const std::vector<size_t>& group, bool standing,
                     int32_t middle, int32_t from, int32_t to, int32_t tolerance)
{
    Crossing crossing;
    bool inDark = false;
    size_t next = 0;  // the group's bars are in order of their left edges
    for (int32_t at = from; at < to; ++at) {
        const bool dark = standing ? Dark(ink, at, middle) : Dark(ink, middle, at);
        if (dark && !inDark) {
            ++crossing.runs;
            while (next < group.size() && bars[group[next]].left < at - tolerance) ++next;
            if (next < group.size() && bars[group[next]].left <= at + tolerance) ++crossing.matched;
        }
        inDark = dark;
    }
    return crossing;
}

void AddBarCodes(const Ink& ink, std::vector<Bar>& bars, bool standing, const Sizes& s,
                 std::vector<CodeCandidates::Area>& areas)
{
    for (const std::vector<size_t>& group : LevelGroups(bars, s)) {
        Bar span = bars[group.front()];
        for (const size_t i : group) {
            span.right = std::max(span.right, bars[i].right);
            span.top = std::min(span.top, bars[i].top);
            span.bottom = std::max(span.bottom, bars[i].bottom);
        }
        // A bar whose first rows are a sliver (a leaning bar, an edge
        // between two rows) was taken twice: once for the sliver.
        int32_t distinct = 0;
        for (int32_t i = 0, end = -1; i < static_cast<int32_t>(group.size()); ++i) {
            const Bar& bar = bars[group[static_cast<size_t>(i)]];
            distinct += bar.left >= end ? 1 : 0;
            end = std::max(end, bar.right);
        }
        // Nothing but the bars may cross the middle line. A leaning code's
        // bars may touch there, where a narrow space rounds away, and a bar
        // whose edge rounds to a sliver where it was looked for may be
        // missed: one in kBarSlack either way.
        const int32_t middle = (span.top + span.bottom) / 2;
        const Crossing crossing = CrossMiddle(ink, bars, group, standing, middle, span.left, span.right, s.tolerance);
        if (distinct < kMinBars || kBarSlack * std::abs(crossing.runs - distinct) > distinct ||
            kBarSlack * (crossing.runs - crossing.matched) > crossing.runs ||
            !(standing ? TwoTone(ink, span.left, middle, 1, 0, span.right - span.left, crossing.runs)
                       : TwoTone(ink, middle, span.left, 0, 1, span.right - span.left, crossing.runs)))
            continue;
        const int64_t height = span.bottom - span.top + 1;
        const int64_t reach = std::max<int64_t>(kReachPerHeight * height, s.margin);
        const int64_t margin = height / 4 + s.margin;
        if (standing)
            areas.push_back(
                Clamp(ink.page, span.left - reach, span.top - margin, span.right + reach, span.bottom + margin));
        else
            areas.push_back(
                Clamp(ink.page, span.top - margin, span.left - reach, span.bottom + margin, span.right + reach));
    }
}

// Whether the line of `length` pixels from (x, y) on in row direction
// `step`, leaning `lean` columns over its length, alternates dark and light
// as a clock track of modules `module` pixels thick does: at least
// kMinClockChanges changes, every run between them within half to twice a
// module (one pixel more for rounding). A picture's dither alternates too,
// but in runs of any length.
bool IsClock(const Ink& ink, int32_t x, int32_t y, int32_t step, int32_t length, int32_t lean, int32_t module)
{
    int32_t changes = 0, run = 1;
    bool last = false;
    for (int32_t k = 0; k < length; ++k, ++run) {
        const int32_t px = x + lean * k / length, py = y + step * k;
        // A clock running off the page is none; a leaning side may start it
        // a row nearer the edge than the side ends.
        if (px < 0 || py < 0 || px >= ink.page.width || py >= ink.page.height) return false;
        const bool dark = Dark(ink, px, py);
        if (k == 0 || dark == last) {
            last = dark;
            continue;
        }
        last = dark;
        // The first run may be cut by the corner, so it is not measured.
        if (changes > 0 && (2 * run < module || run > 2 * module + 1)) return false;
        ++changes;
        run = 0;
    }
    return changes >= kMinClockChanges;
}

// A Data Matrix has two solid sides meeting at a corner, each at least
// kMinBarMm long, and a clock track (alternating modules) facing each. Seen
// from the lying side on row y: one of its ends has a solid side standing up
// or hanging down, and the column at its other end alternates over that
// side's rows. A box's corner faces the box's other edge, a letter L or E
// no clock.
void FindMatrixCorners(const Ink& ink, int32_t y, std::span<const int32_t> edges, const Sizes& s,
                       std::vector<CodeCandidates::Area>& areas)
{
    for (size_t i = 0; i + 1 < edges.size(); i += 2) {
        const int32_t left = edges[i], right = edges[i + 1] - 1, width = right - left + 1;
        if (width < s.minBar || width > s.maxMatrix) continue;
        // A side is one module thick: a filled shape is thicker, a line of
        // a picture's dither thinner than any module. Data modules may lie
        // against the side: the thinnest of three places is the module.
        int32_t thickness = s.maxBarWidth + 1;
        for (const int32_t x : {left + width / 4, left + width / 2, right - width / 4})
            thickness = std::min(thickness, DarkRun(ink, x, y, 0, -1, s.maxBarWidth + 1) +
                                                DarkRun(ink, x, y, 0, 1, s.maxBarWidth + 1) - 1);
        if (thickness > s.maxBarWidth || thickness < s.minStroke || !TwoTone(ink, left, y, 1, 0, width, 2)) continue;
        for (const auto& [corner, toward] : {std::pair{left, 1}, {right, -1}}) {
            // The lying side followed from the corner to its far end, where
            // the clock track starts (looked at down its middle); a turned
            // symbol's side reaches past this row.
            int32_t footLean = 0;
            const int32_t foot = FollowRun(ink, corner, y, toward, 0, s.maxMatrix + 1, &footLean);
            if (foot < s.minBar || foot > s.maxMatrix) continue;
            const int32_t far = corner + toward * (foot - 1), clock = far - toward * (thickness / 2);
            for (const int32_t step : {-1, 1}) {
                int32_t sideLean = 0;
                const int32_t side = FollowRun(ink, corner, y, 0, step, s.maxMatrix + 1, &sideLean);
                if (side < s.minBar || side > s.maxMatrix) continue;
                // The clock alternates module by module, modules as thick as
                // the sides. A turned symbol's lean is known to a module:
                // the lines within a module of it are tried.
                bool clocked = false;
                for (int32_t lean = sideLean - thickness; lean <= sideLean + thickness && !clocked; ++lean)
                    clocked = IsClock(ink, clock, y + footLean, step, side, lean, thickness);
                if (!clocked) continue;
                const int32_t top = std::min(y, y + step * (side - 1)), bottom = std::max(y, y + step * (side - 1));
                const int32_t room = s.margin + std::max(foot, side) / 4;
                areas.push_back(Clamp(ink.page, std::min(corner, far) - room, top - room, std::max(corner, far) + room,
                                      bottom + room));
            }
        }
    }
}

// Overlapping areas become one, until none overlap.
void Merge(std::vector<CodeCandidates::Area>& areas)
{
    for (bool merged = true; merged;) {
        merged = false;
        for (size_t i = 0; i < areas.size() && !merged; ++i)
            for (size_t j = i + 1; j < areas.size() && !merged; ++j) {
                CodeCandidates::Area& a = areas[i];
                const CodeCandidates::Area& b = areas[j];
                if (a.left > b.right || b.left > a.right || a.top > b.bottom || b.top > a.bottom) continue;
                a = {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
                     std::max(a.bottom, b.bottom)};
                areas.erase(areas.begin() + static_cast<std::ptrdiff_t>(j));
                merged = true;
            }
    }
}

}  // namespace

std::vector<CodeCandidates::Area> CodeCandidates::Find(const PageView& page, int32_t resolution)
{
    std::vector<Area> areas;
    if (page.width <= 0 || page.height <= 0 || resolution <= 0) return areas;
    const double perMm = resolution / 25.4;
    const auto px = [&](double mm) { return std::max(1, static_cast<int32_t>(std::lround(mm * perMm))); };
    // A module's whole pixels: two at 300 dpi.
    const auto module = std::max(1, static_cast<int32_t>(kMinModuleMm * perMm));
    const Sizes s{module,
                  px(kMinBarMm),
                  px(kMaxBarWidthMm),
                  px(kMaxSpaceMm),
                  px(kEdgeToleranceMm),
                  px(kMaxSideMm),
                  px(kMaxMatrixMm),
                  px(kMarginMm),
                  static_cast<double>(module),
                  kMaxModuleMm * perMm};
    bool dark[256];
    uint8_t paper = 0, darkest = 0;
    for (int32_t v = 0; v < 256; ++v) {
        dark[v] = page.grey[v] < kDark;
        if (page.grey[v] > page.grey[paper]) paper = static_cast<uint8_t>(v);
        if (page.grey[v] < page.grey[darkest]) darkest = static_cast<uint8_t>(v);
    }
    const Ink ink{page, DarkEdges(dark, paper, darkest)};
    const std::vector<Area> wholePage{Area{0, 0, page.width - 1, page.height - 1}};

    std::vector<Bar> standing, lying;
    std::vector<Finder> finders;
    std::vector<int32_t> rowEdges(static_cast<size_t>(page.width) + 1);
    // Every shape looked for is at least two pixels tall at 300 dpi: every
    // other row of such a page shows it.
    const int32_t step = std::max(1, resolution / 150);
    // Fetched ahead: the row a bar's length below the next row, looked at
    // from it and scanned itself later, where it is one scanned (300 dpi);
    // else the next row.
    const int32_t ahead = (s.minBar - 1) % step == 0 ? step + s.minBar - 1 : step;
    for (int32_t y = 0; y < page.height; y += step) {
        const std::span<const int32_t> edges = RowEdges(ink, y, ahead, rowEdges);
        // Each bar is taken once, on the first row scanned. A look a bar's
        // length below first, a little either side for a leaning bar.
        const int32_t below = y + s.minBar - 1;
        const uint8_t* above = y >= step ? ink.Row(y - step) : nullptr;
        const uint8_t* under = below < page.height ? ink.Row(below) : nullptr;
        for (size_t i = 0; i + 1 < edges.size() && under != nullptr; i += 2) {
            const int32_t left = edges[i], right = edges[i + 1], width = right - left;
            if (width > s.maxBarWidth || width < s.minStroke) continue;
            const int32_t x = (left + right - 1) / 2;
            if ((above != nullptr && DarkAt(ink, above, x)) ||
                !(DarkAt(ink, under, x) || (x >= 2 && DarkAt(ink, under, x - 2)) ||
                  (x + 2 < page.width && DarkAt(ink, under, x + 2))))
                continue;
            const int32_t length = FollowRun(ink, x, y, 0, 1, s.maxSide);
            if (length >= s.minBar) standing.push_back({left, right, y, y + length - 1});
        }
        FindLyingBars(ink, y, step, edges, s, lying);
        FindFinders(ink, y, edges, s, finders);
        FindMatrixCorners(ink, y, edges, s, areas);
        if (standing.size() + lying.size() + areas.size() > kMaxShapes || finders.size() > kMaxFinders)
            return wholePage;
    }
    AddBarCodes(ink, standing, true, s, areas);
    AddBarCodes(ink, lying, false, s, areas);
    AddFinderAreas(page, finders, s, areas);
    if (areas.size() > kMaxUnmergedAreas) return wholePage;
    Merge(areas);
    int64_t covered = 0;
    for (const Area& a : areas)
        covered += static_cast<int64_t>(a.right - a.left + 1) * static_cast<int64_t>(a.bottom - a.top + 1);
    if (areas.size() > kMaxAreas ||
        static_cast<double>(covered) > kMaxAreaShare * static_cast<double>(page.width) * page.height)
        return wholePage;
    return areas;
}
