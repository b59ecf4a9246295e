#include <ZXing/BitMatrix.h>
#include <ZXing/MultiFormatWriter.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "CodeLocator.h"
#include "LegibleThinning.h"
#include "TestPages.h"

namespace {

// Index 0 black, 255 white on the grey ramp of Page8; page rows are stored
// bottom-up, which the filter's edges do not care about.
constexpr uint8_t kInk = 0;
constexpr uint8_t kPaper = 255;

// Copies of a page's pixels, row by stored row, without padding.
std::vector<uint8_t> Pixels(const Dib& page)
{
    const BITMAP& bm = page->ds.dsBm;
    std::vector<uint8_t> out;
    for (int32_t r = 0; r < bm.bmHeight; ++r) out.insert(out.end(), Pixel(page, r, 0), Pixel(page, r, bm.bmWidth));
    return out;
}

// A glyph "O" (a ring) 11 pixels thick and a solid block, as a renderer
// draws them at 600 dpi, and a 3-pixel stroke.
Dib GlyphPage()
{
    Dib page = Page8(160, 120, kPaper);
    for (int32_t r = 0; r < 120; ++r)
        for (int32_t x = 0; x < 160; ++x) {
            const double d = std::hypot(x - 40.0, r - 60.0);
            const bool ring = d >= 24 && d < 35;
            const bool block = x >= 90 && x < 150 && r >= 20 && r < 100;
            const bool stroke = x >= 80 && x < 83 && r >= 10 && r < 110;
            if (ring || block || stroke) *Pixel(page, r, x) = kInk;
        }
    return page;
}

// Dark pixels with a light pixel or the page's edge within w columns and rows.
bool IsEdge(const std::vector<uint8_t>& px, int32_t width, int32_t height, int32_t r, int32_t x, int32_t w)
{
    for (int32_t dy = -w; dy <= w; ++dy)
        for (int32_t dx = -w; dx <= w; ++dx) {
            const int32_t y = r + dy, c = x + dx;
            if (y < 0 || y >= height || c < 0 || c >= width) return true;
            if (px[static_cast<size_t>(y * width + c)] != kInk) return true;
        }
    return false;
}

void DrawMatrix(const Dib& page, const ZXing::BitMatrix& m, int32_t left, int32_t top, int32_t module,
                int32_t barHeight)
{
    const int32_t height = page->ds.dsBm.bmHeight;
    const int32_t rows = barHeight > 0 ? barHeight : m.height() * module;
    for (int32_t y = 0; y < rows; ++y)
        for (int32_t x = 0; x < m.width() * module; ++x)
            if (m.get(x / module, barHeight > 0 ? 0 : y / module))
                *Pixel(page, height - 1 - (top + y), left + x) = kInk;  // bottom-up: page row y
}

// Text-like strokes and a grainy photo: dark and busy, but no code.
void DrawTextAndPhoto(const Dib& page, int32_t top)
{
    const int32_t height = page->ds.dsBm.bmHeight;
    std::mt19937 grain(3);
    for (int32_t line = 0; line < 6; ++line)
        for (int32_t glyph = 0; glyph < 40; ++glyph)
            for (int32_t y = 0; y < 20; ++y)
                for (int32_t x = 0; x < 14; ++x) {
                    const bool stem = x < 3 || (glyph % 3 == 0 && y < 3) || (glyph % 4 == 1 && x == y / 2 + 3);
                    if (stem) *Pixel(page, height - 1 - (top + line * 30 + y), 40 + glyph * 20 + x) = kInk;
                }
    for (int32_t y = 0; y < 240; ++y)
        for (int32_t x = 0; x < 360; ++x)
            *Pixel(page, height - 1 - (top + 200 + y), 40 + x) =
                static_cast<uint8_t>(std::clamp(static_cast<int>(x / 2 + y / 3 + grain() % 60) - 30, 0, 255));
}

using LegibleTest = PageFilterTest;

}  // namespace

TEST_F(LegibleTest, KeepsEveryEdgePixelAndThinsInteriorsByTheShareSet)
{
    env.SavingsStyle = 1;
    env.ProtectCodes = 0;
    for (const int32_t percent : {30, 75}) {
        SCOPED_TRACE(percent);
        env.SavingsPercentage = percent;
        Dib page = GlyphPage();
        const std::vector<uint8_t> before = Pixels(page);
        ProcessBitmap(page.get(), &env, 600, 0);
        const std::vector<uint8_t> after = Pixels(page);
        const int32_t w = LegibleThinning::EdgeWidth(600);
        ASSERT_EQ(w, 2);
        int64_t dark = 0, interior = 0, droppedInterior = 0, keptStroke = 0;
        for (int32_t r = 0; r < 120; ++r)
            for (int32_t x = 0; x < 160; ++x) {
                const size_t i = static_cast<size_t>(r * 160 + x);
                if (before[i] != kInk) {
                    ASSERT_EQ(after[i], kPaper);  // paper stays paper
                    continue;
                }
                ++dark;
                if (IsEdge(before, 160, 120, r, x, w)) {
                    ASSERT_EQ(after[i], kInk) << "edge pixel " << r << "," << x;
                    keptStroke += x >= 80 && x < 83 ? 1 : 0;
                } else {
                    ++interior;
                    droppedInterior += after[i] == kPaper ? 1 : 0;
                }
            }
        EXPECT_EQ(keptStroke, 3 * 100);  // a stroke narrower than two edges loses nothing
        // The interior loses what brings the page to the nominal share, within one dither cell.
        const double share = std::clamp(percent / 100.0 * static_cast<double>(dark) / static_cast<double>(interior),
                                        percent / 100.0, LegibleThinning::kMaxInteriorShare);
        EXPECT_NEAR(static_cast<double>(droppedInterior) / static_cast<double>(interior), share, 1.0 / 64);
    }
}

TEST_F(LegibleTest, StatisticsCountThePixelsActuallyRemoved)
{
    env.SavingsStyle = 1;
    env.SavingsPercentage = 50;
    env.AdvUsageStat = 1;
    Dib page = GlyphPage();
    const std::vector<uint8_t> before = Pixels(page);
    const Record rec(ProcessBitmap(page.get(), &env, 600, 0), &std::free);
    ASSERT_NE(rec, nullptr);
    const std::vector<uint8_t> after = Pixels(page);
    const auto inked = [](const std::vector<uint8_t>& px) { return std::count(px.begin(), px.end(), kInk); };
    const double pixels = 160.0 * 120.0;
    EXPECT_EQ(rec->BlackBefore, static_cast<int32_t>(10000.0 * static_cast<double>(inked(before)) / pixels));
    EXPECT_EQ(rec->BlackAfter, static_cast<int32_t>(10000.0 * static_cast<double>(inked(after)) / pixels));
}

TEST_F(LegibleTest, CodesFoundAreKeptExactlyAndNothingElseIsProtected)
{
    // A label at 600 dpi among text: a QR code (8 pixels a module), a Code 128
    // (4 pixels a bar module) and, off the page's middle, a Data Matrix (8
    // pixels a module).
    const int32_t width = 1000, height = 900;
    Dib page = Page8(width, height, kPaper);
    const auto qr =
        ZXing::MultiFormatWriter(ZXing::BarcodeFormat::QRCode).setMargin(0).encode(std::string("0412"), 0, 0);
    const auto bars =
        ZXing::MultiFormatWriter(ZXing::BarcodeFormat::Code128).setMargin(0).encode(std::string("PARSIMO-7"), 0, 0);
    DrawMatrix(page, qr, 100, 100, 8, 0);
    DrawMatrix(page, bars, 400, 120, 4, 150);
    const auto dm = ZXing::MultiFormatWriter(ZXing::BarcodeFormat::DataMatrix)
                        .setMargin(0)
                        .encode(std::string("Lot 0412, serial 7788-1234"), 0, 0);
    ASSERT_EQ(dm.width(), dm.height());  // square, as most labels print them
    DrawMatrix(page, dm, 800, 620, 8, 0);
    DrawTextAndPhoto(page, 400);
    const std::vector<uint8_t> before = Pixels(page);

    gLogLevel = 0;
    env.SavingsPercentage = 75;
    ProcessBitmap(page.get(), &env, 600, 0);
    const std::vector<uint8_t> after = Pixels(page);
    const auto same = [&](int32_t left, int32_t top, int32_t right, int32_t bottom) {
        for (int32_t y = top; y < bottom; ++y)
            for (int32_t x = left; x < right; ++x) {
                const size_t i = static_cast<size_t>((height - 1 - y) * width + x);
                if (before[i] != after[i]) return false;
            }
        return true;
    };
    // Both codes and a quiet zone of four modules around the QR code.
    EXPECT_TRUE(same(100 - 32, 100 - 32, 100 + qr.width() * 8 + 32, 100 + qr.height() * 8 + 32));
    EXPECT_TRUE(same(400, 120, 400 + bars.width() * 4, 270));
    EXPECT_TRUE(same(800, 620, 800 + dm.width() * 8, 620 + dm.height() * 8));
    EXPECT_FALSE(same(40, 400, 840, 880));  // the text and the photo are thinned
    const std::string log = Log();
    EXPECT_NE(log.find("[Code Regions]"), std::string::npos);
    EXPECT_NE(log.find("Region[2]"), std::string::npos) << log;
    EXPECT_EQ(log.find("Region[3]"), std::string::npos) << log;
    EXPECT_NE(log.find("DataMatrix"), std::string::npos);
    EXPECT_NE(log.find("QRCode"), std::string::npos);
    EXPECT_NE(log.find("Code128"), std::string::npos);

    // The same page without its codes gives no region at all.
    Dib plain = Page8(width, height, kPaper);
    DrawTextAndPhoto(plain, 400);
    uint8_t grey[256];
    for (int v = 0; v < 256; ++v) grey[v] = static_cast<uint8_t>(v);
    const PageView view{
        static_cast<uint8_t*>(plain->ds.dsBm.bmBits), width, height, plain->ds.dsBm.bmWidthBytes, 1, true, grey};
    MicrRegion regions[CodeLocator::kMaxRegions];
    EXPECT_EQ(CodeLocator::Locate(view, 600, regions), 0);

    // And the masks thin it exactly as they always have: every pixel either
    // as it was or, where the mask drops it, the table's white.
    const std::vector<uint8_t> drawn = Pixels(plain);
    env.SavingsPercentage = 50;
    ProcessBitmap(plain.get(), &env, 600, 0);
    const std::vector<uint8_t> thinned = Pixels(plain);
    const SavingsMask& mask = SavingsMasks::kTable[SavingsMasks::Level(50)];
    int mismatches = 0;
    for (int32_t r = 0; r < height; ++r)
        for (int32_t x = 0; x < width; ++x) {
            const size_t i = static_cast<size_t>(r * width + x);
            const bool dropped = mask.rows[r % SavingsMasks::kRows][x % mask.cols] == '0';
            mismatches += thinned[i] != (dropped ? kPaper : drawn[i]) ? 1 : 0;
        }
    EXPECT_EQ(mismatches, 0);
}
