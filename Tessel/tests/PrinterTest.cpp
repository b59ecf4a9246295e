#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "PrintTestSupport.h"
#include "Printer.h"

using printtest::LocalPrinters;

namespace {
DOCINFOA Doc(const char* name)
{
    return DOCINFOA{20, name, nullptr, nullptr, 0};
}

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

TEST(PrinterTest, UnknownPrinterHasNoContextAndEmptyAnswers)
{
    LocalPrinters printers;
    Printer printer("No Such Printer 4711");
    EXPECT_EQ(printer.GetDC(), nullptr);
    EXPECT_EQ(printer.GetDeviceCaps().m_iPrintableWidth, 0);
    EXPECT_EQ(printer.GetDevMode(), nullptr);
    int16_t orientation = -7;
    EXPECT_FALSE(printer.GetDevModeValues(&orientation, nullptr, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(orientation, -7);
    EXPECT_FALSE(printer.SetDevMode(1, 9, 0, 0, 600, 1));
    EXPECT_FALSE(printer.SupportsStretchDIB());
    EXPECT_STREQ(printer.GetPortName(), "");
}

TEST(PrinterTest, HostileOrEscapingNamesAndBrokenPpdsOpenNothing)
{
    LocalPrinters printers;
    printers.Add("Broken", "*PaperDimension Letter: \"612 nan\"\n*ImageableArea Letter: \"1e308 0 1 1\"\n");
    std::filesystem::create_directories(printers.Folder("sub"));
    printers.Add("sub/Inner");
    for (const char* name : {"Broken", "sub/Inner", "../Broken", "", ".hidden"}) {
        Printer printer(name);
        EXPECT_EQ(printer.GetDC(), nullptr) << name;
    }
}

TEST(PrinterTest, LocalPrinterMetricsFollowThePageSetup)
{
    LocalPrinters printers;
    printers.Add("Scratch");
    Printer printer("Scratch");
    ASSERT_NE(printer.GetDC(), nullptr);
    EXPECT_TRUE(printer.SupportsStretchDIB());
    EXPECT_EQ(GetDeviceCaps(printer.GetDC(), RASTERCAPS) & RC_PALETTE, 0);
    EXPECT_EQ(std::string(printer.GetPortName()), "file://" + printers.Folder("Scratch") + "/");

    // Letter at 600 dpi: 0.25 in side margins, 0.5 in top and bottom.
    const DeviceCaps& caps = printer.GetDeviceCaps();
    EXPECT_EQ(caps.m_iPageWidth, 5100);
    EXPECT_EQ(caps.m_iPageHeight, 6600);
    EXPECT_EQ(caps.m_iLeftMargin, 150);
    EXPECT_EQ(caps.m_iTopMargin, 300);
    EXPECT_EQ(caps.m_iPrintableWidth, 4800);
    EXPECT_EQ(caps.m_iPrintableHeight, 6000);
    EXPECT_EQ(caps.m_iResolutionX, 600);

    // Landscape Letter at 300 dpi: the portrait's bottom margin is now the left one.
    ASSERT_TRUE(printer.SetDevMode(DMORIENT_LANDSCAPE, DMPAPER_LETTER, 0, 0, 300, 1));
    const DeviceCaps& land = printer.GetDeviceCaps();
    EXPECT_EQ(land.m_iPageWidth, 3300);
    EXPECT_EQ(land.m_iPageHeight, 2550);
    EXPECT_EQ(land.m_iLeftMargin, 150);
    EXPECT_EQ(land.m_iTopMargin, 75);
    EXPECT_EQ(land.m_iPrintableWidth, 3000);
    EXPECT_EQ(land.m_iPrintableHeight, 2400);

    // Legal has no printable area in the PPD: the whole sheet.
    ASSERT_TRUE(printer.SetDevMode(DMORIENT_PORTRAIT, DMPAPER_LEGAL, 0, 0, 0, 0));
    EXPECT_EQ(printer.GetDeviceCaps().m_iPageHeight, 8400);
    EXPECT_EQ(printer.GetDeviceCaps().m_iTopMargin, 0);
    EXPECT_EQ(printer.GetDeviceCaps().m_iPrintableHeight, 8400);
}

TEST(PrinterTest, SetDevModeChangesOnlyWhatIsGivenAndRefusesUnknownPaper)
{
    LocalPrinters printers;
    printers.Add("Scratch");
    Printer printer("Scratch");
    ASSERT_TRUE(printer.SetDevMode(DMORIENT_PORTRAIT, DMPAPER_A4, 0, 0, DMRES_HIGH, 3));
    int16_t o = 0, size = 0, length = 0, width = 0, quality = 0, copies = 0;
    ASSERT_TRUE(printer.GetDevModeValues(&o, &size, &length, &width, &quality, &copies));
    EXPECT_EQ(size, DMPAPER_A4);
    EXPECT_EQ(length, 2970);  // the paper's own size, as lengths of 0 ask
    EXPECT_EQ(width, 2100);
    EXPECT_EQ(quality, DMRES_HIGH);
    EXPECT_EQ(copies, 3);
    EXPECT_EQ(printer.GetDeviceCaps().m_iResolutionX, 600);  // the highest the PPD offers

    // A paper the printer does not have is refused and nothing changes.
    EXPECT_FALSE(printer.SetDevMode(0, DMPAPER_A3, 0, 0, 0, 0));
    int16_t after = 0;
    ASSERT_TRUE(printer.GetDevModeValues(nullptr, &after, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(after, DMPAPER_A4);

    // An unknown paper number with the size of a known paper lands on that paper.
    ASSERT_TRUE(printer.SetDevMode(0, DMPAPER_USER, 2794, 2159, 300, 0));
    EXPECT_EQ(printer.GetDeviceCaps().m_iPageWidth, 2550);
    EXPECT_EQ(printer.GetDeviceCaps().m_iResolutionX, 300);
}

TEST(PrinterTest, PatternReachesThePageAtTheExactDevicePixels)
{
    LocalPrinters printers;
    printers.Add("Scratch");
    Printer printer("Scratch");
    HDC hdc = printer.GetDC();
    ASSERT_NE(hdc, nullptr);
    HBITMAP bmp = printtest::MakePatternPage(61, 37);
    ASSERT_NE(bmp, nullptr);

    const DOCINFOA doc = Doc("Pattern");
    ASSERT_EQ(StartDocA(hdc, &doc), 1);
    ASSERT_GT(StartPage(hdc), 0);
    EXPECT_EQ(Place(hdc, bmp, 101, 203, 2), 37);  // 300-dpi pixels on a 600-dpi page
    ASSERT_GT(EndPage(hdc), 0);
    // The page has left for the job file before the document ends.
    EXPECT_FALSE(std::filesystem::exists(printers.JobFile("Scratch", 1)));
    EXPECT_GT(std::filesystem::file_size(printers.Folder("Scratch/.job-1.pdf.part")), 0u);

    // Second page landscape A4: takes effect on the open document's next page.
    ASSERT_TRUE(printer.SetDevMode(DMORIENT_LANDSCAPE, DMPAPER_A4, 0, 0, 600, 1));
    EXPECT_EQ(printer.GetDC(), hdc);
    ASSERT_GT(StartPage(hdc), 0);
    EXPECT_EQ(Place(hdc, bmp, 40, 30, 3), 37);
    ASSERT_GT(EndPage(hdc), 0);
    ASSERT_GT(EndDoc(hdc), 0);
    DeleteObject(bmp);

    const std::string pdf = printers.JobFile("Scratch", 1);
    ASSERT_TRUE(std::filesystem::exists(pdf));
    EXPECT_FALSE(std::filesystem::exists(printers.Folder("Scratch/.job-1.pdf.part")));
    EXPECT_EQ(printtest::PageSizes(pdf), (std::vector<std::string>{"612 x 792", "842 x 595"}));

    // Page 1: printable area starts at (150, 300) device pixels.
    printtest::Raster r;
    ASSERT_TRUE(printtest::Rasterize(pdf, 1, 600, 240, 490, 140, 90, r));
    printtest::ExpectPattern(r, 150 + 101 - 240, 300 + 203 - 490, 61, 37, 2);
    // Page 2: A4 has no margins here.
    ASSERT_TRUE(printtest::Rasterize(pdf, 2, 600, 30, 20, 200, 130, r));
    printtest::ExpectPattern(r, 10, 10, 61, 37, 3);
}

TEST(PrinterTest, DocumentsGetTheirOwnFilesAndUnfinishedOnesLeaveNothing)
{
    LocalPrinters printers;
    printers.Add("Scratch");
    HBITMAP bmp = printtest::MakePatternPage(8, 8);
    {
        Printer printer("Scratch");
        const DOCINFOA doc = Doc("One");
        for (int expected = 1; expected <= 2; ++expected) {
            ASSERT_EQ(StartDocA(printer.GetDC(), &doc), expected);
            EXPECT_EQ(StartDocA(printer.GetDC(), &doc), SP_ERROR);  // one document at a time
            StartPage(printer.GetDC());
            Place(printer.GetDC(), bmp, 0, 0, 1);
            EndPage(printer.GetDC());
            ASSERT_GT(EndDoc(printer.GetDC()), 0);
        }
        // Drawing outside a page, or from outside the bitmap, is refused.
        EXPECT_EQ(Place(printer.GetDC(), bmp, 0, 0, 1), 0);
        ASSERT_EQ(StartDocA(printer.GetDC(), &doc), 3);
        StartPage(printer.GetDC());
        BITMAPINFOHEADER header = bmp->ds.dsBmih;
        header.biBitCount = 24;
        EXPECT_EQ(StretchDIBits(printer.GetDC(), 0, 0, 8, 8, 4, 0, 8, 8, bmp->ds.dsBm.bmBits, &header,
                                DIB_RGB_COLORS, SRCCOPY),
                  0);
        // The printer goes away with its third document still open.
    }
    DeleteObject(bmp);
    EXPECT_TRUE(std::filesystem::exists(printers.JobFile("Scratch", 1)));
    EXPECT_TRUE(std::filesystem::exists(printers.JobFile("Scratch", 2)));
    int entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(printers.Folder("Scratch"))) ++entries;
    EXPECT_EQ(entries, 2);
}

TEST(PrinterTest, LogInfoWritesTheThreeSections)
{
    LocalPrinters printers;
    printers.Add("Scratch");
    childtest::TempDir dir;
    childtest::CapturedLog log(dir);
    Printer printer("Scratch");
    printer.LogInfo();
    Printer none("Nobody 4711");
    none.LogInfo();
    const std::string text = log.Text();
    EXPECT_NE(text.find("[Scratch Printer Info]\r\n"), std::string::npos);
    EXPECT_NE(text.find("  - StretchDIB: Yes\r\n"), std::string::npos);
    EXPECT_NE(text.find("  - dmPaperWidth : 2159 (0.1 mm) ~ 5100 (points)\r\n"), std::string::npos);
    EXPECT_NE(text.find("  - Left Margin : 150\r\n"), std::string::npos);
    // Without a page setup the device mode header goes straight on to the capabilities.
    EXPECT_NE(text.find("[Nobody 4711 Device Mode Info]\r\n"), std::string::npos);
    EXPECT_NE(text.find("[Nobody 4711 Device Capabilities]\r\n"), std::string::npos);
    const size_t header = text.find("[Nobody 4711 Device Mode Info]");
    EXPECT_EQ(text.find("  - Device Name", header), std::string::npos);
}
