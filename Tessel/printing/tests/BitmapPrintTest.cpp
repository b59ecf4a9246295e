#include <gtest/gtest.h>

#include <climits>
#include <stdexcept>
#include <vector>

#include "BitmapPrint.h"
#include "PrintTestSupport.h"

namespace {
// dest as left, top, right, bottom; source as left, y from the bottom, width, height.
using Call = std::vector<int>;

// A device context that records what the engine asks of it and, when given
// bands, prints in bands like the printers of old.
class RecordingContext : public DeviceContext {
public:
    int caps[120] = {};
    std::vector<RECT> bands;
    size_t nextBand = 0;
    std::vector<Call> calls;
    int docs = 0;

    RecordingContext(int width, int height, int margin, int dpi)
    {
        caps[HORZRES] = width;
        caps[VERTRES] = height;
        caps[PHYSICALOFFSETX] = caps[PHYSICALOFFSETY] = margin;
        caps[LOGPIXELSX] = caps[LOGPIXELSY] = dpi;
        caps[RASTERCAPS] = RC_STRETCHDIB;
    }
    int GetDeviceCaps(int index) const override { return index >= 0 && index < 120 ? caps[index] : 0; }
    int StartDoc(const DOCINFOA&) override { return ++docs, 7; }
    int StartPage() override { return 1; }
    int EndPage() override { return 1; }
    int EndDoc() override { return 1; }
    int AbortDoc() override { return 1; }
    int Escape(int escape, int, const void* in, void* out) override
    {
        if (bands.empty()) return 0;
        if (escape == QUERYESCSUPPORT) return *static_cast<const int32_t*>(in) == NEXTBAND;
        if (escape != NEXTBAND || nextBand >= bands.size()) return 0;
        *static_cast<RECT*>(out) = bands[nextBand++];
        return 1;
    }
    int StretchDIBits(int x, int y, int w, int h, int sx, int sy, int sw, int sh, const void*, const BITMAPINFOHEADER*,
                      unsigned, uint32_t) override
    {
        calls.push_back(Call{x, y, x + w, y + h, sx, sy, sw, sh});
        return sh;
    }
};

std::vector<int> Corners(const RECT& r)
{
    return {r.left, r.top, r.right, r.bottom};
}
}  // namespace

TEST(BitmapPrintTest, ScaleModesPlaceTheSourceArea)
{
    printtest::PatternPage page(2550, 3300);
    BitmapPrint bp(page.Get());
    RecordingContext dc(4800, 6600, 50, 600);
    bp.SetSourceRect(RECT{25, 25, 2525, 3275});
    const struct {
        int mode;
        std::vector<int> target;
    } modes[] = {
        {BP_SCALE_NONE, {0, 0, 5000, 6500}},  // natural size at the natural position
        {BP_SCALE_HORZ, {0, 0, 4800, 6500}},
        {BP_SCALE_CUSTOM, {50, 50, 4850, 6650}},
        // Proportions kept, centred: 2500 x 3250 takes the full width.
        {BP_SCALE_FIT, {0, 180, 4800, 6420}},
    };
    for (const auto& m : modes) {
        bp.CalcTargetRect(&dc, m.mode);
        EXPECT_EQ(Corners(bp.m_RPrint), m.target) << "mode " << m.mode;
    }
    // A source area beyond the bitmap is clamped to it first. No resolution would divide by zero: reported, never
    // undefined.
    bp.m_iResolution = 0;
    EXPECT_THROW(bp.CalcTargetRect(&dc, BP_SCALE_NONE), std::runtime_error);
}

TEST(BitmapPrintTest, DirectPathDrawsOnceWithRowsFromTheBottomAndErrorsEndThePageBlank)
{
    printtest::PatternPage page(300, 400);
    BitmapPrint bp(page.Get());
    RecordingContext dc(1000, 1000, 0, 300);
    bp.SetSourceRect(RECT{10, 20, 110, 70});
    EXPECT_EQ(bp.Print(&dc, "Doc", BP_SCALE_NONE), 7);
    EXPECT_EQ(dc.calls, (std::vector<Call>{{10, 20, 110, 70, 10, 400 - 70, 100, 50}}));
    // Into the caller's open document: no document of its own; a failed one prints nothing.
    bp.m_iJobId = -1;
    EXPECT_EQ(bp.Print(&dc, "Doc", BP_SCALE_NONE), 0);
    EXPECT_EQ(dc.docs, 1);
    // A device that cannot stretch: the page ends blank, the job goes on.
    bp.m_iJobId = 0;
    dc.calls.clear();
    dc.caps[RASTERCAPS] = RC_PALETTE;
    bp.SetSourceRect(RECT{0, 0, 100, 100});
    EXPECT_EQ(bp.Print(&dc, "Doc", BP_SCALE_PAGE), 7);
    EXPECT_TRUE(dc.calls.empty());
    EXPECT_THROW(bp.Print(nullptr, "Doc", BP_SCALE_PAGE), std::runtime_error);
}

// Strips keep their places on each band's grid, also on a band of extreme
// figures (it starts 22 rows above the page), and stop at the page's end.
TEST(BitmapPrintTest, BandsAreCutIntoStripsOfAtMost75PixelsAndEndlessBandsStop)
{
    printtest::PatternPage page(100, 400);
    BitmapPrint bp(page.Get());
    RecordingContext dc(100, 400, 0, 300);
    bp.SetSourceRect(RECT{0, 0, 100, 400});
    const struct {
        std::vector<RECT> bands;
        size_t strips;
        Call first, last;
    } cases[] = {
        // Band 1: strips at 0, 75, 150 (the last reaching below the band); band 2
        // (240 high): 160, 235, 310, 385. Source rows count from the bottom.
        {{RECT{0, 0, 100, 160}, RECT{0, 160, 100, 400}},
         7,
         {0, 0, 100, 75, 0, 325, 100, 75},
         {0, 385, 100, 400, 0, 0, 100, 15}},
        {{RECT{0, INT32_MIN + 1, 100, INT32_MAX}},
         6,
         {0, 0, 100, 53, 0, 347, 100, 53},
         {0, 353, 100, 400, 0, 0, 100, 47}},
    };
    for (const auto& c : cases) {
        dc.bands = c.bands;
        dc.nextBand = 0;
        dc.calls.clear();
        EXPECT_EQ(bp.Print(&dc, "Doc", BP_SCALE_PAGE), 7);
        ASSERT_EQ(dc.calls.size(), c.strips);
        EXPECT_EQ(dc.calls.front(), c.first);
        EXPECT_EQ(dc.calls.back(), c.last);
    }
    dc.bands.assign(BitmapPrint::kMaxBands + 5, RECT{0, 0, 100, 1});
    dc.nextBand = 0;
    EXPECT_EQ(bp.Print(&dc, "Doc", BP_SCALE_PAGE), 7);
    EXPECT_EQ(dc.nextBand, static_cast<size_t>(BitmapPrint::kMaxBands) + 1);  // the engine stopped asking
}
