#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <filesystem>
#include <sys/stat.h>

#include "PrintTestSupport.h"
#include "Printer.h"
#include "PrinterDriver.h"

using printtest::LocalPrinters;

namespace {
const DOCINFOA kDoc{20, "Pattern", nullptr, nullptr, 0};

// Places the pattern bitmap whole at (x, y) device pixels, scale device pixels per bitmap pixel.
int Place(HDC hdc, HBITMAP bmp, int x, int y, int scale)
{
    const int w = bmp->ds.dsBm.bmWidth;
    const int h = bmp->ds.dsBm.bmHeight;
    // The packed form: header then colour table, rows apart, as a Bitmap keeps them.
    std::vector<uint8_t> packed(sizeof(BITMAPINFOHEADER) + 2 * sizeof(RGBQUAD));
    memcpy(packed.data(), &bmp->ds.dsBmih, sizeof(BITMAPINFOHEADER));
    memcpy(packed.data() + sizeof(BITMAPINFOHEADER), bmp->colors, 2 * sizeof(RGBQUAD));
    return StretchDIBits(hdc, x, y, w * scale, h * scale, 0, 0, w, h, bmp->ds.dsBm.bmBits,
                         reinterpret_cast<const BITMAPINFOHEADER*>(packed.data()), DIB_RGB_COLORS, SRCCOPY);
}
}  // namespace

TEST(PrinterTest, UnknownEscapingOrBrokenPrintersOpenNothingAndAnswerEmpty)
{
    LocalPrinters printers;
    printers.Add("Broken", "*PaperDimension Letter: \"612 nan\"\n*ImageableArea Letter: \"1e308 0 1 1\"\n");
    ASSERT_EQ(mkfifo(printers.Folder("Pipe.ppd").c_str(), 0600), 0);  // nobody ever writes to it
    for (const char* name : {"No Such Printer 4711", "Broken", "../Broken", "", "Pipe"}) {
        Printer printer(name);
        EXPECT_EQ(printer.GetDC(), nullptr) << name;
        EXPECT_FALSE(printer.SetDevMode(1, DMPAPER_LETTER, 0, 0, 600, 1));
        printer.LogInfo();  // with empty sections
    }
}

TEST(PrinterTest, PageSetupRoundTripsThroughTheDeviceModeIntoTheMetrics)
{
    LocalPrinters printers;
    printers.Add("Scratch");
    Printer printer("Scratch");
    ASSERT_NE(printer.GetDC(), nullptr);
    // Each setup starts from the printer's defaults (Letter, 600 dpi); a refused
    // one changes nothing.
    const struct {
        int16_t set[6];  // orientation, paper, length, width, quality, copies
        bool taken;
        int16_t got[6];
        int caps[7];  // page width, height, left, top margin, printable width, height, dpi
    } rows[] = {
        // Landscape: the portrait's bottom margin is now the left one.
        {{DMORIENT_LANDSCAPE, DMPAPER_LETTER, 0, 0, 300, 1},
         true,
         {2, DMPAPER_LETTER, 2794, 2159, 300, 1},
         {3300, 2550, 150, 75, 3000, 2400, 300}},
        // A paper the printer lacks is refused.
        {{0, DMPAPER_A3, 0, 0, 0, 0},
         false,
         {2, DMPAPER_LETTER, 2794, 2159, 300, 1},
         {3300, 2550, 150, 75, 3000, 2400, 300}},
        // Explicit figures win over the paper number they contradict.
        {{0, DMPAPER_LETTER, 3556, 2159, 600, 0},
         true,
         {1, DMPAPER_LETTER, 3556, 2159, 600, 1},
         {5100, 8400, 0, 0, 5100, 8400, 600}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << "paper " << row.set[1]);
        EXPECT_EQ(printer.SetDevMode(row.set[0], row.set[1], row.set[2], row.set[3], row.set[4], row.set[5]),
                  row.taken);
        int16_t got[6] = {};
        ASSERT_TRUE(printer.GetDevModeValues(&got[0], &got[1], &got[2], &got[3], &got[4], &got[5]));
        EXPECT_EQ(std::vector<int16_t>(got, got + 6), std::vector<int16_t>(row.got, row.got + 6));
        const DeviceCaps& c = printer.GetDeviceCaps();
        EXPECT_EQ((std::vector<int>{c.m_iPageWidth, c.m_iPageHeight, c.m_iLeftMargin, c.m_iTopMargin,
                                    c.m_iPrintableWidth, c.m_iPrintableHeight, c.m_iResolutionX}),
                  std::vector<int>(row.caps, row.caps + 7));
    }
}

TEST(PrinterTest, PatternReachesThePageAtTheExactDevicePixels)
{
    LocalPrinters printers;
    printers.Add("Scratch");
    Printer printer("Scratch");
    HDC hdc = printer.GetDC();
    ASSERT_NE(hdc, nullptr);
    const printtest::PatternPage page(61, 37);
    HBITMAP bmp = page.Get();
    ASSERT_NE(bmp, nullptr);
    ASSERT_EQ(StartDocA(hdc, &kDoc), 1);
    ASSERT_GT(StartPage(hdc), 0);
    EXPECT_EQ(Place(hdc, bmp, 101, 203, 2), 37);  // 300-dpi pixels on a 600-dpi page
    ASSERT_GT(EndPage(hdc), 0);
    // A new setup in an open document takes effect on its next page.
    ASSERT_TRUE(printer.SetDevMode(DMORIENT_LANDSCAPE, DMPAPER_A4, 0, 0, 600, 1));
    EXPECT_EQ(printer.GetDC(), hdc);
    ASSERT_GT(StartPage(hdc), 0);
    EXPECT_EQ(Place(hdc, bmp, 40, 30, 3), 37);
    ASSERT_GT(EndPage(hdc), 0);
    ASSERT_GT(EndDoc(hdc), 0);

    const std::string pdf = printers.JobFile("Scratch", 1);
    EXPECT_EQ(printtest::PageSizes(pdf), (std::vector<std::string>{"612 x 792", "842 x 595"}));
    // Page 1: the printable area starts at (150, 300) device pixels; page 2 (A4) has no margins.
    printtest::Raster r;
    ASSERT_TRUE(printtest::Rasterize("pdftoppm", pdf, 1, 600, 240, 490, 140, 90, r));
    printtest::ExpectPattern(r, 150 + 101 - 240, 300 + 203 - 490, 61, 37, 2);
    ASSERT_TRUE(printtest::Rasterize("pdftoppm", pdf, 2, 600, 30, 20, 200, 130, r));
    printtest::ExpectPattern(r, 10, 10, 61, 37, 3);
}

TEST(PrinterTest, DocumentsGetTheirOwnFilesAndUnfinishedOnesLeaveNothing)
{
    LocalPrinters printers;
    printers.Add("Scratch");
    const printtest::PatternPage page(8, 8);
    HBITMAP bmp = page.Get();
    {
        Printer printer("Scratch");
        HDC hdc = printer.GetDC();
        for (int expected = 1; expected <= 2; ++expected) {
            ASSERT_EQ(StartDocA(hdc, &kDoc), expected);
            EXPECT_EQ(StartDocA(hdc, &kDoc), SP_ERROR);  // one document at a time
            StartPage(hdc);
            Place(hdc, bmp, 0, 0, 1);
            EndPage(hdc);
            ASSERT_GT(EndDoc(hdc), 0);
        }
        // Drawing outside a page, from outside the bitmap, with a header size
        // that would put the colour table anywhere, or at a place no page has,
        // is refused, without arithmetic faults on the way.
        EXPECT_EQ(Place(hdc, bmp, 0, 0, 1), 0);
        ASSERT_EQ(StartDocA(hdc, &kDoc), 3);
        StartPage(hdc);
        BITMAPINFOHEADER header = bmp->ds.dsBmih;
        header.biBitCount = 24;
        EXPECT_EQ(StretchDIBits(hdc, 0, 0, 8, 8, 4, 0, 8, 8, bmp->ds.dsBm.bmBits, &header, DIB_RGB_COLORS, SRCCOPY), 0);
        header = bmp->ds.dsBmih;
        header.biSize = 0x7FFFFFF0u;
        EXPECT_EQ(StretchDIBits(hdc, 0, 0, 8, 8, 0, 0, 8, 8, bmp->ds.dsBm.bmBits, &header, DIB_RGB_COLORS, SRCCOPY), 0);
        EXPECT_EQ(Place(hdc, bmp, INT32_MAX - 4, 0, 1), 0);
        // The printer goes away with its third document still open.
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(printers.Folder("Scratch")), {}), 2);
}

TEST(PrinterTest, ListOffersTheLocalPrintersThatOpenWould)
{
    ScratchFolder scratch;
    ScopedVariable noScheduler("CUPS_SERVER", scratch.Path("no-scheduler.sock").c_str());
    LocalPrinters printers;
    for (const char* name : {"Office", "Archive", ".hidden"}) printers.Add(name);
    std::filesystem::create_directories(printers.Folder("Folder.ppd"));
    ASSERT_EQ(mkfifo(printers.Folder("Pipe.ppd").c_str(), 0600), 0);
    std::vector<std::string> names;
    for (const PrinterEntry& p : PrinterDriver::List()) {
        names.push_back(p.name);
        EXPECT_FALSE(p.isDefault);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"Archive", "Office"}));
}
