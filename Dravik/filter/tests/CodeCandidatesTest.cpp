#include "CodeCandidates.h"

#include <gtest/gtest.h>

#include <ZXing/BitMatrix.h>
#include <ZXing/MultiFormatWriter.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "Dib.h"
#include "TestPages.h"
#include "TestWorld.h"

namespace {

constexpr int32_t kDpi = 300;
constexpr uint8_t kInk = 0;
constexpr uint8_t kPaper = 255;

// A 300-dpi page, top row first, one byte a pixel read as its own brightness.
struct TestPage {
    int32_t width, height;
    std::vector<uint8_t> pixels;
    uint8_t grey[256];

    TestPage(int32_t w, int32_t h)
        : width(w), height(h), pixels(static_cast<size_t>(w) * static_cast<size_t>(h), kPaper)
    {
        for (int v = 0; v < 256; ++v) grey[v] = static_cast<uint8_t>(v);
    }
    void Set(int32_t x, int32_t y, uint8_t value = kInk)
    {
        pixels[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)] = value;
    }
    void Fill(int32_t left, int32_t top, int32_t w, int32_t h)
    {
        for (int32_t y = top; y < top + h; ++y)
            for (int32_t x = left; x < left + w; ++x) Set(x, y);
    }
    PageView View() { return {pixels.data(), width, height, width, 1, false, grey}; }
};

// Text-like lines at two sizes: stems of x-height and ascender letters,
// bowls (dark, light, dark, light, dark down a column, as a and e have),
// runs of m, and a heading of tall capitals; a filled box, a ruled table
// a dithered grey and a grainy photo.
void DrawBusyPage(TestPage& page)
{
    for (int32_t line = 0; line < 12; ++line) {
        const int32_t base = 120 + line * 58;
        for (int32_t glyph = 0; glyph < 90; ++glyph) {
            const int32_t x = 60 + glyph * 24;
            switch (glyph % 5) {
            case 0: page.Fill(x, base - 33, 3, 33); break;  // l
            case 1:                                         // e
                page.Fill(x, base - 24, 14, 3);
                page.Fill(x, base - 13, 14, 3);
                page.Fill(x, base - 3, 14, 3);
                page.Fill(x, base - 24, 3, 24);
                break;
            case 2:  // m
                for (int32_t stem = 0; stem < 3; ++stem) page.Fill(x + stem * 7, base - 24, 3, 24);
                break;
            case 3: page.Fill(x, base - 24, 3, 24); break;                                       // i
            default: page.Fill(x, base - 33, 3, 33), page.Fill(x + 9, base - 33, 3, 33); break;  // ll
            }
        }
    }
    for (int32_t letter = 0; letter < 12; ++letter) {  // a 24-point heading: H, I, L, E
        const int32_t x = 100 + letter * 70;
        page.Fill(x, 850, 10, 72);
        if (letter % 4 == 0) page.Fill(x + 40, 850, 10, 72), page.Fill(x, 881, 50, 9);
        if (letter % 4 == 2) page.Fill(x, 913, 45, 9);
        if (letter % 4 == 3) page.Fill(x, 850, 45, 9), page.Fill(x, 881, 35, 9), page.Fill(x, 913, 45, 9);
    }
    page.Fill(100, 1000, 830, 500);  // a filled box
    for (int32_t rule = 0; rule < 8; ++rule) {
        page.Fill(1000, 1000 + rule * 60, 800, 3);
        page.Fill(1000 + rule * 100, 1000, 3, 423);
    }
    for (int32_t y = 1550; y < 1850; ++y)  // ordered dither of a mid grey
        for (int32_t x = 100; x < 700; ++x)
            if ((x + y) % 2 == 0 || (x % 4 == 0 && y % 4 == 1)) page.Set(x, y);
    std::mt19937 grain(3);  // a grainy photo, dark and light
    for (int32_t y = 1550; y < 1850; ++y)
        for (int32_t x = 800; x < 1700; ++x)
            page.Set(x, y,
                     static_cast<uint8_t>(
                         std::clamp(static_cast<int>((x - 800) / 4 + (y - 1550) / 3 + grain() % 60) - 30, 0, 255)));
}

// A code drawn around (x, y) with `module` pixels a module, turned by
// `degrees`; a linear code's bars `barHeight` pixels long. Gives the box of
// the pixels drawn.
CodeCandidates::Area DrawCode(TestPage& page, ZXing::BarcodeFormat format, const std::string& text, int32_t x,
                              int32_t y, int32_t module, int32_t barHeight, double degrees)
{
    const ZXing::BitMatrix m = ZXing::MultiFormatWriter(format).setMargin(0).encode(text, 0, 0);
    const int32_t w = m.width() * module, h = barHeight > 0 ? barHeight : m.height() * module;
    const double angle = degrees * std::numbers::pi / 180, c = std::cos(angle), s = std::sin(angle);
    const auto reach = static_cast<int32_t>(std::hypot(w, h) / 2) + 2;
    CodeCandidates::Area drawn{x, y, x, y};
    for (int32_t py = y - reach; py <= y + reach; ++py)
        for (int32_t px = x - reach; px <= x + reach; ++px) {
            // The code's pixel under this one, turned back.
            const double dx = px + 0.5 - x, dy = py + 0.5 - y;
            const double u = dx * c + dy * s + w / 2.0, v = -dx * s + dy * c + h / 2.0;
            if (u < 0 || v < 0 || u >= w || v >= h) continue;
            if (!m.get(static_cast<int>(u) / module, barHeight > 0 ? 0 : static_cast<int>(v) / module)) continue;
            page.Set(px, py);
            drawn = {std::min(drawn.left, px), std::min(drawn.top, py), std::max(drawn.right, px),
                     std::max(drawn.bottom, py)};
        }
    return drawn;
}

bool Covered(const std::vector<CodeCandidates::Area>& areas, const CodeCandidates::Area& code)
{
    for (const CodeCandidates::Area& a : areas)
        if (a.left <= code.left && a.top <= code.top && a.right >= code.right && a.bottom >= code.bottom) return true;
    return false;
}

}  // namespace

TEST(CodeCandidatesTest, TextBoxesRulesAndDitherGiveNoPlace)
{
    TestPage page(2400, 1900);
    DrawBusyPage(page);
    EXPECT_TRUE(CodeCandidates::Find(page.View(), kDpi).empty());
}

TEST(CodeCandidatesTest, EveryKindOfCodeIsCoveredWholeTurnedAnyQuarterOrALittle)
{
    using F = ZXing::BarcodeFormat;
    struct Code {
        F format;
        const char* text;
        int32_t module, barHeight;
    };
    // Label sizes at 300 dpi: modules of 0.25 to 0.5 mm, bars of 6 mm.
    const Code codes[] = {{F::Code128, "PARSIMO-0412", 4, 71},
                          {F::Code39, "LBL24", 3, 71},
                          {F::EAN13, "5901234123457", 4, 71},
                          {F::ITF, "12345678901231", 5, 71},
                          {F::QRCode, "https://example.com/parcel/0412", 4, 0},
                          {F::DataMatrix, "Lot 0412, serial 7788-1234", 5, 0},
                          {F::PDF417, "Parsimo label 0412", 3, 0},
                          {F::Aztec, "Parsimo 0412", 4, 0}};
    for (const Code& code : codes)
        for (const double degrees : {0.0, 90.0, 180.0, 270.0, 3.0, -4.0, 93.0}) {
            TestPage page(2400, 2800);
            DrawBusyPage(page);
            const CodeCandidates::Area place =
                DrawCode(page, code.format, code.text, 1500, 2200, code.module, code.barHeight, degrees);
            const std::vector<CodeCandidates::Area> areas = CodeCandidates::Find(page.View(), kDpi);
            EXPECT_TRUE(Covered(areas, place)) << ZXing::ToString(code.format) << " turned " << degrees;
            // Only the code's place is searched, not the page.
            for (const CodeCandidates::Area& a : areas)
                EXPECT_LT(static_cast<int64_t>(a.right - a.left) * (a.bottom - a.top), int64_t{2400} * 2800 / 2)
                    << ZXing::ToString(code.format);
        }
}

TEST(CodeCandidatesTest, PatternsAndNoiseEndQuicklyWithPlacesOnThePage)
{
    // Tiled bullseyes are finders everywhere, stripes are level bars
    // everywhere, noise is anything: each ends with places on the page (the
    // whole page at worst), under the sanitizers too.
    TestPage bullseyes(1200, 1500), stripes(1200, 1500), noise(1200, 1500);
    std::mt19937 random(7);
    for (int32_t y = 0; y < 1500; ++y)
        for (int32_t x = 0; x < 1200; ++x) {
            if (std::max(std::abs(x % 27 - 13), std::abs(y % 27 - 13)) / 3 % 2 == 0) bullseyes.Set(x, y);
            if (x % 6 < 3 && y % 40 < 37) stripes.Set(x, y);
            noise.Set(x, y, static_cast<uint8_t>(random()));
        }
    for (TestPage* page : {&bullseyes, &stripes, &noise}) {
        const std::vector<CodeCandidates::Area> areas = CodeCandidates::Find(page->View(), kDpi);
        for (const CodeCandidates::Area& a : areas) {
            EXPECT_LE(0, a.left);
            EXPECT_LE(a.left, a.right);
            EXPECT_LT(a.right, page->width);
            EXPECT_LE(0, a.top);
            EXPECT_LE(a.top, a.bottom);
            EXPECT_LT(a.bottom, page->height);
        }
    }
    EXPECT_FALSE(CodeCandidates::Find(bullseyes.View(), kDpi).empty());
}

TEST(CodeCandidatesTest, ChartsAndPhotosAsGhostscriptDithersThemGiveNoPlace)
{
    // Grey bars with an outline and a grainy photo, rendered as a job's
    // pages are: the 256-colour device dithers their greys into patterns of
    // many values, lines and corners among them.
    const testworld::World world;
    std::string ps = "%!PS\n0.6 setlinewidth\n";
    const double greys[] = {0.4, 0.2, 0.1, 0.53, 0.47, 0.6};
    for (int bar = 0; bar < 6; ++bar)
        ps += std::to_string(greys[bar]) + " setgray " + std::to_string(40 + bar * 60) +
              " 40 40 200 rectfill 0 setgray " + std::to_string(40 + bar * 60) + " 40 40 200 rectstroke\n";
    ps += "gsave 40 260 translate 320 200 scale 64 40 8 [64 0 0 -40 0 40] {<";
    std::mt19937 grain(5);
    for (int i = 0; i < 64 * 40; ++i) {
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02x", static_cast<unsigned>(40 + i % 64 + grain() % 90));
        ps += hex;
    }
    ps += ">} image grestore showpage\n";
    const std::string job = (world.root / "chart.ps").string(), bmp = (world.root / "chart.bmp").string();
    std::ofstream(job) << ps;
    ASSERT_EQ(std::system(("gs -q -dNOPAUSE -dBATCH -dSAFER -dCOLORSCREEN -sDEVICE=bmp256 -r300 -g1700x2000 "
                           "-sOutputFile=" +
                           bmp + " " + job)
                              .c_str()),
              0);
    const Dib page(LoadBitmapFile(bmp.c_str()));
    ASSERT_TRUE(page);
    const BITMAP& bm = page->ds.dsBm;
    uint8_t grey[256];
    for (uint32_t v = 0; v < 256; ++v) {
        const RGBQUAD c = v < page->colorCount ? page->colors[v] : RGBQUAD{};
        grey[v] = static_cast<uint8_t>((c.rgbRed + c.rgbGreen + c.rgbBlue) / 3);
    }
    const PageView view{static_cast<uint8_t*>(bm.bmBits), bm.bmWidth, bm.bmHeight, bm.bmWidthBytes, 1, true, grey};
    EXPECT_TRUE(CodeCandidates::Find(view, kDpi).empty());
}

TEST(CodeCandidatesTest, CornersAtThePageEdgeAreReadWithinThePage)
{
    // The solid corner of a matrix code against the bottom and the top edge,
    // its lying side turning a row toward the edge halfway: its clock track
    // is looked for a row further, and must stop at the edge (the
    // sanitizers catch a read past it).
    TestPage bottom(400, 300), top(400, 300);
    bottom.Fill(100, 200, 2, 100);
    bottom.Fill(100, 200, 50, 2);
    bottom.Fill(150, 201, 50, 2);
    top.Fill(100, 0, 2, 101);
    top.Fill(100, 100, 50, 2);
    top.Fill(150, 98, 50, 2);
    for (TestPage* page : {&bottom, &top})
        for (const CodeCandidates::Area& a : CodeCandidates::Find(page->View(), kDpi)) {
            EXPECT_LE(0, a.top);
            EXPECT_LT(a.bottom, page->height);
        }
}
