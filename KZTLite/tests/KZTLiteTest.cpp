#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "ChequePage.h"
#include "KZTLite.h"

namespace {

// Asks the locator through its exports: its answer is four figures a
// region, comma-separated, nothing else, and it is released through them.
std::vector<PixelBox> Locate(HBITMAP page, int32_t dpi)
{
    char* answer = nullptr;
    const int32_t count = KZTGetMicrLineRegions(page, dpi, 0, &answer);
    const std::string text = answer ? answer : "";
    KZTFreeMem(&answer);
    EXPECT_EQ(answer, nullptr);
    EXPECT_EQ(text.find_first_not_of("0123456789,"), std::string::npos) << text;
    std::string spaced = text;
    std::replace(spaced.begin(), spaced.end(), ',', ' ');
    std::istringstream in(spaced);
    const std::vector<int32_t> n{std::istream_iterator<int32_t>(in), {}};
    EXPECT_EQ(n.size() % 4, 0u) << text;
    EXPECT_EQ(std::count(text.begin(), text.end(), ','), text.empty() ? 0 : long(n.size()) - 1) << text;
    std::vector<PixelBox> boxes;
    for (size_t i = 0; i + 3 < n.size(); i += 4) boxes.push_back({n[i], n[i + 1], n[i + 2], n[i + 3]});
    EXPECT_EQ(count, static_cast<int32_t>(boxes.size())) << text;
    EXPECT_LE(boxes.size(), 9u);
    return boxes;
}

// Every region holds its whole code line and reaches at most `slack` pixels
// past the 1/32 inch margin (clipped to the page).
void ExpectLines(const ChequePage& cheque, const Dib& page, int32_t dpi, int32_t slack = 0)
{
    const std::vector<PixelBox> found = Locate(page.get(), dpi);
    ASSERT_EQ(found.size(), cheque.CodeLines());
    const int32_t margin = (dpi + 16) / 32;
    const int32_t w = page->ds.dsBm.bmWidth, h = page->ds.dsBm.bmHeight;
    for (size_t i = 0; i < found.size(); ++i) {
        const PixelBox line = cheque.CodeLineBox(dpi, i);
        const PixelBox& r = found[i];
        SCOPED_TRACE(testing::Message() << "line " << i << " at " << line.left << "," << line.top << " - " << line.right
                                        << "," << line.bottom);
        EXPECT_LE(r.left, line.left);
        EXPECT_LE(r.top, line.top);
        EXPECT_GE(r.right, line.right);
        EXPECT_GE(r.bottom, line.bottom);
        EXPECT_GE(r.left, std::max(0, line.left - margin - slack));
        EXPECT_GE(r.top, std::max(0, line.top - margin - slack));
        EXPECT_LE(r.right, std::min(w - 1, line.right + margin + slack));
        EXPECT_LE(r.bottom, std::min(h - 1, line.bottom + margin + slack));
    }
}

struct Layout {
    const char* name;
    std::function<ChequePage()> make;
};

const std::vector<Layout>& Layouts()
{
    static const std::vector<Layout> layouts = {
        {"top of Letter, voucher below",
         [] {
             ChequePage p(8.5, 11);
             p.Cheque(0, 0, 8.5, 3.5);
             p.Voucher(0, 3.5, 8.5, 3.7);
             p.Voucher(0, 7.2, 8.5, 3.8);
             return p;
         }},
        {"bottom of A4, stub beside",
         [] {
             ChequePage p(8.27, 11.69);
             p.Voucher(0, 0, 8.27, 8.0);
             p.Voucher(0, 8.19, 2.0, 3.5);
             p.Cheque(2.0, 8.19, 6.27, 3.5, true, -0.02);
             return p;
         }},
        {"three on Letter",
         [] {
             ChequePage p(8.5, 11);
             for (int i = 0; i < 3; ++i) p.Cheque(0, 0.25 + 3.5 * i, 8.5, 3.5);
             return p;
         }},
        {"landscape Letter",
         [] {
             ChequePage p(11, 8.5);
             p.Voucher(0, 0, 11, 4.5);
             p.Cheque(0, 4.5, 11, 4.0, true, 0, 0, "U000123U T123456780T 9876543210123U");
             return p;
         }},
    };
    return layouts;
}

}  // namespace

TEST(KZTLite, FindsEveryLayoutAtBothResolutionsDepthsAndRowOrders)
{
    for (const Layout& layout : Layouts()) {
        const ChequePage cheque = layout.make();
        for (const int32_t dpi : {300, 600})
            for (const uint16_t bits : {8, 24})
                for (const bool topDown : {false, true}) {
                    if (dpi == 600 && topDown != (bits == 24)) continue;  // the costly pages once per depth
                    SCOPED_TRACE(testing::Message() << layout.name << ", " << dpi << " dpi, " << bits << " bits"
                                                    << (topDown ? ", top-down" : ""));
                    ExpectLines(cheque, cheque.Render(dpi, bits, topDown), dpi);
                }
    }
}

TEST(KZTLite, FindsSkewedAndSpeckledLines)
{
    for (const double skew : {-1.0, 0.5})
        for (const int32_t dpi : {300, 600}) {
            SCOPED_TRACE(testing::Message() << skew << " degrees at " << dpi << " dpi");
            ChequePage p(8.5, 11);
            for (int i = 0; i < 3; ++i) p.Cheque(0, 0.25 + 3.5 * i, 8.5, 3.5, true, 0, skew * (i % 2 ? -1 : 1));
            ExpectLines(p, p.Render(dpi, 8, false), dpi);
        }
    // Specks land anywhere, on the characters' edges too: the box then holds
    // the specks that touch the line, up to one more margin further.
    for (const int32_t dpi : {300, 600})
        for (const uint32_t seed : {1u, 2u}) {
            SCOPED_TRACE(testing::Message() << "specks, seed " << seed << " at " << dpi << " dpi");
            const ChequePage p = Layouts()[2].make();
            ExpectLines(p, p.Render(dpi, 24, seed % 2 == 0, 40, seed), dpi, (dpi + 16) / 32);
        }
}

TEST(KZTLite, NineLinesAtMostTopFirst)
{
    ChequePage p(8.5, 14);
    for (int i = 0; i < 12; ++i) p.CodeLine(ChequePage::kStandardLine, 8.0, 1.0 + i * 1.1);
    const std::vector<PixelBox> found = Locate(p.Render(300, 8, false).get(), 300);
    ASSERT_EQ(found.size(), 9u);
    for (size_t i = 0; i < found.size(); ++i) EXPECT_LE(found[i].top, p.CodeLineBox(300, i).top);
}

TEST(KZTLite, PagesThatOnlyLookLikeCodeLinesGiveNoRegion)
{
    std::vector<std::pair<const char*, ChequePage>> pages;
    ChequePage words(8.5, 11);
    words.Words(0.8, 0.8, 6.9, 55, 5);
    pages.emplace_back("body text", words);
    ChequePage table(8.5, 11);
    table.Table(0.5, 0.5, 30, 5);
    pages.emplace_back("table of figures", table);
    ChequePage rules(8.5, 11);
    for (int i = 0; i < 8; ++i) {
        rules.DashedRule(0.5, 0.5 + i * 1.3, 7.5);
        rules.BarcodeBars(0.5, 1.0 + i * 1.3, 50);
        rules.SignatureLine(4.0, 1.5 + i * 1.3, 3.0);
    }
    pages.emplace_back("dashed rules, bars and signature lines", rules);
    ChequePage blank(8.5, 11);
    for (int i = 0; i < 3; ++i) blank.Cheque(0, 0.25 + 3.5 * i, 8.5, 3.5, false);
    pages.emplace_back("cheques without a code line", blank);
    for (const auto& [name, page] : pages)
        for (const int32_t dpi : {300, 600}) {
            SCOPED_TRACE(testing::Message() << name << " at " << dpi << " dpi");
            EXPECT_TRUE(Locate(page.Render(dpi, dpi == 300 ? 8 : 24, false, 20).get(), dpi).empty());
        }
}

TEST(KZTLite, UnreadableHandlesAndResolutionsGiveNoRegion)
{
    const ChequePage cheque = Layouts()[0].make();
    Dib page = cheque.Render(300, 8, false);
    char* answer = nullptr;
    EXPECT_EQ(KZTGetMicrLineRegions(page.get(), 300, 0, nullptr), 0);
    for (const int32_t dpi : {0, -300, 1, 100000}) {
        EXPECT_EQ(KZTGetMicrLineRegions(page.get(), dpi, 0, &answer), 0) << dpi;
        EXPECT_EQ(answer, nullptr);
    }
    EXPECT_EQ(KZTGetMicrLineRegions(nullptr, 300, 0, &answer), 0);
    EXPECT_EQ(answer, nullptr);

    Dib shallow(CreateDibSection(2550, 3300, 16, BI_RGB, nullptr, 0, nullptr));
    EXPECT_TRUE(Locate(shallow.get(), 300).empty());

    // Headers that disagree with the memory behind them are never followed.
    const std::vector<std::function<void(DibSectionObject&)>> lies = {
        [](DibSectionObject& d) { d.imageBytes -= 1; },
        [](DibSectionObject& d) { d.ds.dsBm.bmWidthBytes += 4; },
        [](DibSectionObject& d) { d.ds.dsBm.bmWidth = -d.ds.dsBm.bmWidth; },
        [](DibSectionObject& d) { d.ds.dsBm.bmBitsPixel = 24; },
        [](DibSectionObject& d) { d.colorCount = 100000; },
        [](DibSectionObject& d) { d.ds.dsBmih.biSize = 0; },
    };
    for (size_t i = 0; i < lies.size(); ++i) {
        Dib copy = cheque.Render(300, 8, false);
        lies[i](*copy);
        EXPECT_TRUE(Locate(copy.get(), 300).empty()) << "lie " << i;
    }
    // A foreign object: zeros where a section's header would be.
    DibSectionObject zeros{};
    EXPECT_TRUE(Locate(&zeros, 300).empty());
}
