#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "BitmapPrint.h"
#include "PrintJobInfo.h"
#include "PrintTestSupport.h"
#include "Printer.h"

// These run against a CUPS scheduler with a queue whose output a test can
// read: packaging/cups-test-setup.sh start prints the variables to export.
namespace {
struct CupsQueue {
    std::string name;
    std::string output;
};

bool FindQueue(CupsQueue& queue)
{
    const char* name = getenv("PARSIMO_CUPS_QUEUE");
    const char* output = getenv("PARSIMO_CUPS_OUTPUT");
    if (!name || !output) return false;
    queue = CupsQueue{name, output};
    return Printer(name).GetDC() != nullptr;
}

#define REQUIRE_QUEUE(queue)                                                                                     \
    CupsQueue queue;                                                                                             \
    if (!FindQueue(queue))                                                                                       \
    GTEST_SKIP() << "no CUPS test queue: run eval \"$(packaging/cups-test-setup.sh start)\" to test against a " \
                    "scheduler"

// The scheduler writes the file when the job runs; a finished PDF ends with its trailer.
bool WaitForDocument(const std::string& path)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < deadline) {
        const std::string text = ScratchFolder::Read(path);
        if (text.size() > 6 && text.find("%%EOF", text.size() - 8) != std::string::npos) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}
}  // namespace

TEST(PrinterCupsTest, DestinationGivesPageSetupFromItsAttributes)
{
    REQUIRE_QUEUE(queue);
    Printer printer(queue.name.c_str());
    EXPECT_EQ(std::string(printer.GetPortName()), "file://" + queue.output);
    EXPECT_TRUE(printer.SupportsStretchDIB());
    int16_t paper = 0, quality = 0;
    ASSERT_TRUE(printer.GetDevModeValues(nullptr, &paper, nullptr, nullptr, &quality, nullptr));
    EXPECT_EQ(paper, DMPAPER_LETTER);
    EXPECT_EQ(quality, 600);
    const DeviceCaps& caps = printer.GetDeviceCaps();
    EXPECT_EQ(caps.m_iPageWidth, 5100);
    EXPECT_EQ(caps.m_iLeftMargin, 150);
    EXPECT_EQ(caps.m_iTopMargin, 300);
    EXPECT_EQ(caps.m_iPrintableWidth, 4800);
    // A paper the queue does not have is refused; one it has is taken.
    EXPECT_FALSE(printer.SetDevMode(0, DMPAPER_A3, 0, 0, 0, 0));
    ASSERT_TRUE(printer.SetDevMode(DMORIENT_LANDSCAPE, DMPAPER_A4, 0, 0, 300, 0));
    EXPECT_EQ(printer.GetDeviceCaps().m_iPageWidth, 3508);
    EXPECT_EQ(printer.GetDeviceCaps().m_iResolutionX, 300);
}

TEST(PrinterCupsTest, JobReachesTheQueueWithThePatternAndItsRecordReadsBack)
{
    REQUIRE_QUEUE(queue);
    std::filesystem::remove(queue.output);
    Printer printer(queue.name.c_str());
    ASSERT_TRUE(printer.SetDevMode(DMORIENT_PORTRAIT, DMPAPER_A4, 0, 0, 600, 2));
    HDC hdc = printer.GetDC();
    const DOCINFOA doc{20, "Parsimo CUPS test", nullptr, nullptr, 0};
    const int job = StartDocA(hdc, &doc);
    ASSERT_GT(job, 0);
    HBITMAP bmp = printtest::MakePatternPage(300, 250);
    for (int i = 0; i < 2; ++i) {
        BitmapPrint page(bmp);
        page.m_iJobId = job;
        page.m_iResolution = 300;
        page.SetSourceRect(RECT{75, 150, 275, 250});
        EXPECT_EQ(page.Print(hdc, doc.lpszDocName, BP_SCALE_NONE), job);
    }
    DeleteObject(bmp);
    ASSERT_GT(EndDoc(hdc), 0);
    ASSERT_TRUE(WaitForDocument(queue.output));
    EXPECT_EQ(printtest::PageSizes(queue.output), (std::vector<std::string>{"595 x 842", "595 x 842"}));
    // A4 on this queue: margins of 150 and 300 device pixels. The source
    // area starts at 0.25 in, 0.5 in on the 300-dpi page and keeps that
    // physical place; the pattern repeats every 15 x 5 pixels, so it looks
    // as if it started at the bitmap's corner.
    printtest::Raster r;
    ASSERT_TRUE(printtest::Rasterize(queue.output, 2, 600, 140, 290, 420, 220, r));
    printtest::ExpectPattern(r, 10, 10, 200, 100, 2);

    PrintJobInfo info;
    ASSERT_TRUE(info.ReadFromSpooler(queue.name.c_str(), job));
    EXPECT_STREQ(info.PrintDocumentName, "Parsimo CUPS test");
    EXPECT_EQ(info.PaperSize, DMPAPER_A4);
    EXPECT_EQ(info.Copies, 2);
    EXPECT_NE(info.UserName[0], '\0');
}

TEST(PrinterCupsTest, UnknownJobsAndPrintersAreReportedAsUnread)
{
    REQUIRE_QUEUE(queue);
    PrintJobInfo info;
    info.PaperSize = 77;
    EXPECT_FALSE(info.ReadFromSpooler(queue.name.c_str(), 987654));
    EXPECT_FALSE(info.ReadFromSpooler("No Such Queue 4711", 1));
    EXPECT_EQ(info.PaperSize, 77);
}
