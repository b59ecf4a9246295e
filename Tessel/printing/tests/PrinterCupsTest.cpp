#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "BitmapPrint.h"
#include "PrintJobInfo.h"
#include "PrintTestSupport.h"
#include "Printer.h"
#include "PrinterDriver.h"

// Runs against a CUPS scheduler with a queue whose output a test can read:
// packaging/cups-test-setup.sh start prints the variables to export.
TEST(PrinterCupsTest, JobReachesTheQueueWithItsSetupAndItsRecordReadsBack)
{
    const char* name = std::getenv("PARSIMO_CUPS_QUEUE");
    const char* output = std::getenv("PARSIMO_CUPS_OUTPUT");
    if (!name || !output || !Printer(name).GetDC())
        GTEST_SKIP() << "no CUPS test queue: run eval \"$(packaging/cups-test-setup.sh start)\" first";
    std::filesystem::remove(output);
    Printer printer(name);
    // The queue's attributes give the page setup; a paper it lacks is refused.
    EXPECT_FALSE(printer.SetDevMode(0, DMPAPER_A3, 0, 0, 0, 0));
    // The job's own request wins over what the page setup says (collated).
    printer.SetJobOptions({{"multiple-document-handling", "separate-documents-uncollated-copies"}});
    ASSERT_TRUE(printer.SetDevMode(DMORIENT_PORTRAIT, DMPAPER_A4, 0, 0, 600, 2));
    EXPECT_EQ(printer.GetDeviceCaps().m_iPageWidth, 4958);

    HDC hdc = printer.GetDC();
    const DOCINFOA doc{20, "Parsimo CUPS test", nullptr, nullptr, 0};
    const int job = StartDocA(hdc, &doc);
    ASSERT_GT(job, 0);
    const printtest::PatternPage bmp(300, 250);
    for (int i = 0; i < 2; ++i) {
        BitmapPrint page(bmp.Get());
        page.m_iJobId = job;
        page.SetSourceRect(RECT{75, 150, 275, 250});
        EXPECT_EQ(page.Print(hdc, doc.lpszDocName, BP_SCALE_NONE), job);
    }
    ASSERT_GT(EndDoc(hdc), 0);
    // The scheduler writes the file when the job runs; a finished PDF ends with its trailer.
    ASSERT_TRUE(Eventually([&] { return ScratchFolder::Read(output).find("%%EOF") != std::string::npos; }));
    EXPECT_EQ(printtest::PageSizes(output), (std::vector<std::string>{"595 x 842", "595 x 842"}));

    PrintJobInfo info;
    ASSERT_TRUE(info.ReadFromSpooler(name, job));
    EXPECT_STREQ(info.PrintDocumentName, "Parsimo CUPS test");
    EXPECT_EQ(info.Copies, 2);
    EXPECT_EQ(info.Collate, DMCOLLATE_FALSE);
    EXPECT_EQ(info.TargetOptions,
              (std::vector<PrintOption>{{"multiple-document-handling", "separate-documents-uncollated-copies"}}));
    // Unknown jobs and queues are reported as unread and leave the record alone.
    EXPECT_FALSE(info.ReadFromSpooler(name, 987654));
    EXPECT_FALSE(info.ReadFromSpooler("No Such Queue 4711", 1));
    EXPECT_EQ(info.Copies, 2);
}

TEST(PrinterCupsTest, ListGivesTheQueuesFirstAndALocalPrinterOfTheSameNameOnce)
{
    const char* name = std::getenv("PARSIMO_CUPS_QUEUE");
    if (!name || !Printer(name).GetDC())
        GTEST_SKIP() << "no CUPS test queue: run eval \"$(packaging/cups-test-setup.sh start)\" first";
    printtest::LocalPrinters local;
    local.Add(name);
    local.Add("~Local Only");
    const std::vector<PrinterEntry> printers = PrinterDriver::List();
    ASSERT_GE(printers.size(), 2u);
    EXPECT_EQ(printers.back().name, "~Local Only");
    const auto isQueue = [&](const PrinterEntry& p) { return p.name == name && !p.deviceUri.empty(); };
    EXPECT_EQ(std::count_if(printers.begin(), printers.end(), isQueue), 1);
    EXPECT_EQ(std::count_if(printers.begin(), printers.end(), [&](const PrinterEntry& p) { return p.name == name; }),
              1);
}
