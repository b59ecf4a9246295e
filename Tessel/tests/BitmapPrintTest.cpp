#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

#include "BitmapPrint.h"
#include "PrintTestSupport.h"
#include "Printer.h"

namespace {
struct Call {
    RECT dest;
    RECT source;  // left, y from the bottom, width, height
};

// A device context that records what the engine asks of it and, when told
// so, prints in bands like the printers of old.
class RecordingContext : public DeviceContext {
public:
    int caps[120] = {};
    std::vector<RECT> bands;
    size_t nextBand = 0;
    std::vector<Call> calls;
    int pages = 0;
    int docs = 0;
    int ends = 0;
    int startDocResult = 7;

    RecordingContext(int width, int height, int margin, int dpi)
    {
        caps[HORZRES] = width;
        caps[VERTRES] = height;
        caps[PHYSICALOFFSETX] = caps[PHYSICALOFFSETY] = margin;
        caps[LOGPIXELSX] = caps[LOGPIXELSY] = dpi;
        caps[RASTERCAPS] = RC_STRETCHDIB;
    }
    int GetDeviceCaps(int index) const override { return index >= 0 && index < 120 ? caps[index] : 0; }
    int StartDoc(const DOCINFOA&) override { return ++docs, startDocResult; }
    int StartPage() override { return ++pages; }
    int EndPage() override { return 1; }
    int EndDoc() override { return ++ends; }
    int AbortDoc() override { return 1; }
    int Escape(int escape, int, const void* in, void* out) override
    {
        if (bands.empty()) return 0;
        if (escape == QUERYESCSUPPORT) return *static_cast<const int32_t*>(in) == NEXTBAND;
        if (escape != NEXTBAND || nextBand >= bands.size()) return 0;
        *static_cast<RECT*>(out) = bands[nextBand++];
        return 1;
    }
    int StretchDIBits(int x, int y, int w, int h, int sx, int sy, int sw, int sh, const void*,
                      const BITMAPINFOHEADER*, unsigned, uint32_t) override
    {
        calls.push_back(Call{{x, y, x + w, y + h}, {sx, sy, sw, sh}});
        return sh;
    }
};

class Page {
public:
    Page(int w, int h) : m_bmp(printtest::MakePatternPage(w, h)) {}
    ~Page() { DeleteObject(m_bmp); }
    HBITMAP Get() const { return m_bmp; }

private:
    HBITMAP m_bmp;
};

bool SameRect(const RECT& a, const RECT& b)
{
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}
}  // namespace

#define EXPECT_RECT(r, l, t, rr, b) EXPECT_TRUE(SameRect((r), RECT{(l), (t), (rr), (b)}))

TEST(BitmapPrintTest, ScaleModesPlaceTheSourceArea)
{
    Page page(2550, 3300);
    BitmapPrint bp(page.Get());
    RecordingContext dc(4800, 6600, 50, 600);
    bp.SetSourceRect(RECT{25, 25, 2525, 3275});
    bp.CalcTargetRect(&dc, BP_SCALE_NONE);
    EXPECT_RECT(bp.m_RPrint, 0, 0, 5000, 6500);  // natural size at the natural position
    bp.CalcTargetRect(&dc, BP_SCALE_PAGE);
    EXPECT_RECT(bp.m_RPrint, 0, 0, 4800, 6600);
    bp.CalcTargetRect(&dc, BP_SCALE_HORZ);
    EXPECT_RECT(bp.m_RPrint, 0, 0, 4800, 6500);
    bp.CalcTargetRect(&dc, BP_SCALE_VERT);
    EXPECT_RECT(bp.m_RPrint, 0, 0, 5000, 6600);
    bp.CalcTargetRect(&dc, BP_SCALE_CUSTOM);
    EXPECT_RECT(bp.m_RPrint, 50, 50, 4850, 6650);

    // A source area beyond the bitmap is clamped to it first.
    bp.SetSourceRect(RECT{0, 0, 9999, 9999});
    bp.CalcTargetRect(&dc, BP_SCALE_NONE);
    EXPECT_RECT(bp.m_SPrint, 0, 0, 2550, 3300);

    // No resolution would divide by zero: reported, never undefined.
    bp.m_iResolution = 0;
    EXPECT_THROW(bp.CalcTargetRect(&dc, BP_SCALE_NONE), std::runtime_error);
}

TEST(BitmapPrintTest, DirectPathDrawsOnceWithRowsCountedFromTheBottom)
{
    Page page(300, 400);
    BitmapPrint bp(page.Get());
    RecordingContext dc(1000, 1000, 0, 300);
    bp.SetSourceRect(RECT{10, 20, 110, 70});
    EXPECT_EQ(bp.Print(&dc, "Doc", BP_SCALE_NONE), 7);
    EXPECT_EQ(dc.docs, 1);
    EXPECT_EQ(dc.ends, 1);
    ASSERT_EQ(dc.calls.size(), 1u);
    EXPECT_RECT(dc.calls[0].dest, 10, 20, 110, 70);
    EXPECT_RECT(dc.calls[0].source, 10, 400 - 70, 100, 50);

    // Into an open document: no document of its own.
    bp.m_iJobId = 42;
    EXPECT_EQ(bp.Print(&dc, "Doc", BP_SCALE_NONE), 42);
    EXPECT_EQ(dc.docs, 1);
    // A failed document of the caller's prints nothing.
    bp.m_iJobId = -1;
    EXPECT_EQ(bp.Print(&dc, "Doc", BP_SCALE_NONE), 0);
    EXPECT_EQ(dc.calls.size(), 2u);
}

TEST(BitmapPrintTest, BandsAreCutIntoStripsOfAtMost75Pixels)
{
    Page page(100, 400);
    BitmapPrint bp(page.Get());
    RecordingContext dc(100, 400, 0, 300);
    dc.bands = {RECT{0, 0, 100, 160}, RECT{0, 160, 100, 400}};
    bp.SetSourceRect(RECT{0, 0, 100, 400});
    bp.Print(&dc, "Doc", BP_SCALE_PAGE);
    // Band 1: strips at 0, 75, 150 (the last reaching below the band);
    // band 2 (240 high): 160, 235, 310, 385 (clipped at 400).
    ASSERT_EQ(dc.calls.size(), 7u);
    EXPECT_RECT(dc.calls[0].dest, 0, 0, 100, 75);
    EXPECT_RECT(dc.calls[2].dest, 0, 150, 100, 225);
    EXPECT_RECT(dc.calls[6].dest, 0, 385, 100, 400);
    // Source rows from the bottom: the top strip is the top of the bitmap.
    EXPECT_RECT(dc.calls[0].source, 0, 325, 100, 75);
    EXPECT_RECT(dc.calls[6].source, 0, 0, 100, 15);
}

TEST(BitmapPrintTest, EndlessBandsAndEngineErrorsEndThePageAndNotTheJob)
{
    Page page(100, 100);
    BitmapPrint bp(page.Get());
    RecordingContext dc(100, 100, 0, 300);
    dc.bands.assign(BitmapPrint::kMaxBands + 5, RECT{0, 0, 100, 1});
    bp.SetSourceRect(RECT{0, 0, 100, 100});
    EXPECT_EQ(bp.Print(&dc, "Doc", BP_SCALE_PAGE), 7);
    EXPECT_EQ(dc.nextBand, static_cast<size_t>(BitmapPrint::kMaxBands) + 1);  // the engine stopped asking

    // An empty source area: caught inside Print, the page is ended blank.
    dc.bands.clear();
    dc.calls.clear();
    bp.SetSourceRect(RECT{50, 50, 50, 50});
    EXPECT_EQ(bp.Print(&dc, "Doc", BP_SCALE_NONE), 7);
    EXPECT_TRUE(dc.calls.empty());
    dc.caps[RASTERCAPS] = RC_PALETTE;
    bp.SetSourceRect(RECT{0, 0, 100, 100});
    EXPECT_EQ(bp.Print(&dc, "Doc", BP_SCALE_PAGE), 7);
    EXPECT_TRUE(dc.calls.empty());

    EXPECT_THROW(bp.Print(nullptr, "Doc", BP_SCALE_PAGE), std::runtime_error);
}

TEST(BitmapPrintTest, PageOnALocalPrinterKeepsItsPhysicalPlace)
{
    printtest::LocalPrinters printers;
    printers.Add("Engine");
    Printer printer("Engine");
    ASSERT_NE(printer.GetDC(), nullptr);
    // A 300-dpi page on a 600-dpi Letter printer with margins of 150 and 300
    // device pixels: the source area starting at the margins lands at the
    // printable area's corner, each bitmap pixel two device pixels.
    Page page(300, 200);
    BitmapPrint bp(page.Get());
    bp.SetSourceRect(RECT{75, 150, 300, 200});
    const int job = bp.Print(printer.GetDC(), "Engine test", BP_SCALE_NONE);
    ASSERT_EQ(job, 1);
    const std::string pdf = printers.JobFile("Engine", 1);
    printtest::Raster r;
    ASSERT_TRUE(printtest::Rasterize(pdf, 1, 600, 140, 290, 470, 120, r));
    // The pattern is that of the whole bitmap; its visible part starts at source pixel (75, 150).
    int wrong = 0;
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 450; ++x) {
            const int expected = printtest::IsInk(75 + x / 2, 150 + y / 2) ? 0 : 255;
            wrong += r.At(10 + x, 10 + y) != expected;
        }
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(r.At(9, 50), 255);  // nothing left of the source area
}
