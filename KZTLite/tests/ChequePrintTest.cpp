// Cheques printed through the real job processor and Ghostscript, with this
// locator in the installation folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "BmpReader.h"
#include "ChequePage.h"
#include "KZTLite.h"
#include "Printers.h"

using namespace testworld;

namespace {

// A page rendered by the real Ghostscript the way the job processor asks for it.
Dib RenderWithGhostscript(const ChequePage& page, int32_t dpi, const char* device, const fs::path& scratch)
{
    const fs::path ps = scratch / "page.ps", bmp = scratch / "page.bmp";
    std::ofstream(ps) << "%!PS\n" << page.PostScript();
    World::Run({"/usr/bin/gs", "-q", "-dNOPAUSE", "-dBATCH", "-dSAFER", std::string("-sDEVICE=") + device,
                "-r" + std::to_string(dpi), "-sOutputFile=" + bmp.string(), ps.string()});
    return Dib(LoadBitmapFile(bmp.c_str()));
}

ChequePage ThreeCheques()
{
    ChequePage sheet(8.5, 11);
    for (int i = 0; i < 3; ++i) sheet.Cheque(0, 0.25 + 3.5 * i, 8.5, 3.5, true, 0.01 * i, i == 1 ? 0.7 : 0);
    return sheet;
}

}  // namespace

// Rendered cheques are found whole by the printing test below; real type,
// which only Ghostscript draws, is never taken for a code line.
TEST(KZTLiteGhostscript, FindsNoLineOnRenderedText)
{
    World world;
    // Real type: body text, figures in a fixed-pitch font, large digits.
    ChequePage text(8.5, 11);
    for (int l = 0; l < 40; ++l)
        text.Text("Times-Roman", 12, 1, 1 + l * 0.2, "Paid to the order of 1998 2004 the sum of 123456789 dollars.");
    for (int l = 0; l < 5; ++l) text.Text("Courier", 11, 1, 9.2 + l * 0.3, "0123456789 0123456789 0123456789");
    ChequePage digits(8.5, 11);
    for (int l = 0; l < 10; ++l) digits.Text("Helvetica", 40, 0.5, 1 + l * 0.9, "0123456789012");
    for (const ChequePage* page : {&text, &digits})
        for (const auto& [dpi, device] : {std::pair{300, "bmp256"}, std::pair{600, "bmp16m"}}) {
            const Dib rendered = RenderWithGhostscript(*page, dpi, device, world.root);
            ASSERT_NE(rendered, nullptr);
            char* answer = nullptr;
            EXPECT_EQ(KZTGetMicrLineRegions(rendered.get(), dpi, 0, &answer), 0) << (answer ? answer : "");
            KZTFreeMem(&answer);
        }
}

// Three cheques per Letter page at 75 %: every code line pixel reaches paper
// unthinned (black under enhanced quality, its own dark grey otherwise) and
// the rest of the cheque is thinned.
TEST(KZTLitePrint, CheckDocumentKeepsEveryCodeLineWhole)
{
    for (const int enhanced : {0, 1}) {
        SCOPED_TRACE(enhanced ? "enhanced, 600 dpi" : "300 dpi");
        World world;
        AddPrinters(world);
        fs::copy_file(KZTLITE_FILE, world.root / "install/libKZTLite.so");
        World::Values settings = PrintSettings(75);
        settings.emplace_back("EnhancedMicrLineQuality", Dword(static_cast<uint32_t>(enhanced)));
        settings.emplace_back("LogLevel", Dword(0));
        world.Install(settings);
        world.Settings(settings, {{"PaperSize", Dword(1)}, {"PrintDocumentName", Sz("Check Document")}});
        ChequePage sheet = ThreeCheques();
        sheet.SetCodeLineGray(0.2);  // Ghostscript dithers it from dark cube colours; darkening makes it black
        const auto run = World::Dravik({world.Job(sheet.PostScript())});
        ASSERT_EQ(run.status, 0) << run.err;

        const std::vector<std::string> printed = NamesIn(world.root / "printers/Target");
        ASSERT_EQ(printed.size(), 1u);
        const Gray out = Rasterize(world.root / "printers/Target" / printed[0], 1, 600, world.root);
        ASSERT_GT(out.width, 0);
        // Page pixels land at their own place on paper: 600 dpi output pixel
        // (x, y) shows the glyph grid point (x / 600, y / 600) inches.
        const int dpi = enhanced ? 600 : 300;
        int checked = 0;
        for (size_t i = 0; i < 3; ++i) {
            const PixelBox line = sheet.CodeLineBox(600, i);
            for (int y = line.top; y <= line.bottom; ++y)
                for (int x = line.left; x <= line.right; ++x) {
                    if (!sheet.InsideCodeLine(i, (x + 0.5) / 600, (y + 0.5) / 600, 1.5 / dpi)) continue;
                    ++checked;
                    if (enhanced)
                        ASSERT_EQ(out.At(x, y), 0) << x << "," << y;
                    else
                        ASSERT_LT(out.At(x, y), 128) << x << "," << y;
                }
        }
        EXPECT_GT(checked, 10000);
        // The signature lines are thinned to a quarter of their pixels.
        int black = 0, all = 0;
        for (int i = 0; i < 3; ++i) {
            const int y = static_cast<int>((0.25 + 3.5 * (i + 1) - 0.8 + 0.005) * 600);
            for (int x = int(5.4 * 600); x < int(8.0 * 600); ++x, ++all) black += out.At(x, y) < 128;
        }
        EXPECT_NEAR(static_cast<double>(black) / all, 0.25, 0.03);
    }
}
