#include <cmath>
#include <memory>
#include <stdexcept>

#include "AppEnvironment.h"
#include "BitmapPrint.h"
#include "BitmapProcessing.h"
#include "Dib.h"
#include "Dravik.h"
#include "File.h"
#include "GhostScript.h"
#include "Log.h"
#include "MessageBox.h"
#include "Messages.h"
#include "PageSetup.h"
#include "PrintJobInfo.h"
#include "Printer.h"
#include "StopSignals.h"

namespace {
using PageBlock = std::unique_ptr<DibSectionObject, DibDeleter>;

// The last page's block, into which the next page is read: freeing and
// allocating 8 MiB and more a page made the C library hand the memory back
// and fault it in again on every page. Pages come one at a time.
PageBlock gSparePage;

// Hands the page's block on to the next page, whichever way the handler ends.
struct KeepForNextPage {
    PageBlock& page;
    ~KeepForNextPage() { gSparePage = std::move(page); }
};

int32_t Truncate(double value)
{
    return static_cast<int32_t>(std::trunc(value));
}

// Paper fitting, printer setup and the one print document, once per run.
// False when the document could not be opened: the job cannot print.
bool FirstPage(HBITMAP page)
{
    gFirstPage = 0;
    if (gJobInfo->PaperSize > kHighestWindowsPaperSize) {
        BITMAP bm{};
        if (GetObjectA(page, sizeof bm, &bm) == sizeof bm) {
            const int32_t resolution = gGhostscript->GSResolution;
            const int32_t width = static_cast<int32_t>(static_cast<int64_t>(bm.bmWidth) * 254 / resolution);
            const int32_t length = static_cast<int32_t>(static_cast<int64_t>(bm.bmHeight) * 254 / resolution);
            LogText("bmWidth: %d, bmHeight = %d, iWidth = %d , iLength = %d \r\n", bm.bmWidth, bm.bmHeight, width,
                    length);
            gJobInfo->PaperSize = NearestPaperSize(width, length);
        }
    }
    ApplyJobPageSetup();
    if (gLogLevel == 0) {
        gJobInfo->LogInfo();
        if (gVirtualPrinter) gVirtualPrinter->LogInfo();
        if (gTargetPrinter) gTargetPrinter->LogInfo();
    }
    if (gPrintJobId == 0 && gTargetPrinter && gTargetPrinter->GetDC()) {
        DOCINFOA info{};
        info.cbSize = sizeof info;
        info.lpszDocName = gJobInfo->PrintDocumentName;
        gPrintJobId = StartDocA(gTargetPrinter->GetDC(), &info);
    }
    return gPrintJobId > 0;
}

// Whether a page of width x height pixels lies on the virtual printer's
// paper, turned either way (pages may come rendered in either orientation).
bool FitsOnPaper(int32_t width, int32_t height)
{
    constexpr int32_t kRounding = 2;  // pixels a page may differ from the paper by rounding
    const DeviceCaps& caps = gVirtualPrinter->GetDeviceCaps();
    const double resolution = gGhostscript->GSResolution;
    const double sx = caps.m_iResolutionX > 0 ? resolution / caps.m_iResolutionX : 0.0;
    const double sy = caps.m_iResolutionY > 0 ? resolution / caps.m_iResolutionY : 0.0;
    const int32_t paperWidth = Truncate(caps.m_iPageWidth * sx) + kRounding;
    const int32_t paperHeight = Truncate(caps.m_iPageHeight * sy) + kRounding;
    if (paperWidth <= kRounding || paperHeight <= kRounding) return true;  // no paper to compare with
    return (width <= paperWidth && height <= paperHeight) || (width <= paperHeight && height <= paperWidth);
}

RECT PrintArea()
{
    const DeviceCaps& caps = gVirtualPrinter->GetDeviceCaps();
    const double resolution = gGhostscript->GSResolution;
    // A printer that reports no resolution gives an empty area, never a division by zero.
    const double sx = caps.m_iResolutionX > 0 ? resolution / caps.m_iResolutionX : 0.0;
    const double sy = caps.m_iResolutionY > 0 ? resolution / caps.m_iResolutionY : 0.0;
    RECT area{};
    area.left = Truncate(caps.m_iLeftMargin * sx);
    area.top = Truncate(caps.m_iTopMargin * sy);
    area.right = Truncate(caps.m_iPrintableWidth * sx + area.left);
    area.bottom = Truncate(caps.m_iPrintableHeight * sy + area.top);
    if (gJobInfo->Orientation == DMORIENT_LANDSCAPE) {
        std::swap(area.left, area.top);
        std::swap(area.right, area.bottom);
    }
    return area;
}

void Print(HBITMAP page, UsageDetails* record)
{
    std::unique_ptr<UsageDetails, decltype(&std::free)> owned(record, &std::free);
    try {
        BitmapPrint printer(page, true);
        printer.m_iResolution = gGhostscript->GSResolution;
        printer.SetSourceRect(PrintArea());
        printer.m_iJobId = gPrintJobId;
        int32_t mode = gIsCheckDocument ? BP_SCALE_NONE : BP_SCALE_PAGE;
        // A page larger than the paper would lose all but its top-left part:
        // the whole page is scaled down to the paper instead.
        BITMAP bm{};
        if (GetObjectA(page, sizeof bm, &bm) == sizeof bm && !FitsOnPaper(bm.bmWidth, bm.bmHeight)) {
            LogText("The page of %d x %d pixels is larger than the paper and is scaled down to fit.\r\n", bm.bmWidth,
                    bm.bmHeight);
            printer.SetSourceRect(RECT{0, 0, bm.bmWidth, bm.bmHeight});
            mode = BP_SCALE_FIT;
        }
        if (printer.Print(gTargetPrinter ? gTargetPrinter->GetDC() : nullptr, gJobInfo->PrintDocumentName, mode) <= 0) {
            LogMessage(2, "A page could not be printed on %s.\r\n", gAppEnv->TargetPrinterName);
            return;
        }
        ++gPrintedPages;
        if (owned) {
            gUsageRecords->Add(owned.get());
            owned.release();
        }
    } catch (const std::runtime_error& error) {
        LogText("BitmapPrintError: %s\r\n", error.what());
    }
}
}  // namespace

void HandlePage(const char* path)
{
    // A stopped or failed job prints nothing more; its pages only go away.
    if (StopSignals::Received() || JobFailed()) {
        DeleteFile(path);
        return;
    }
    PageBlock page(LoadBitmapFile(path, gSparePage.release()));
    const KeepForNextPage keep{page};
    if (!page) {
        LOG_LAST_ERROR(2);
        LogText("Could not load the image file (%s)\r\n", path);
        return;
    }
    DeleteFile(path);

    try {
        if (gFirstPage) {
            bool opened = false;
            try {
                opened = FirstPage(page.get());
            } catch (...) {
                LOG_LAST_ERROR(2);
            }
            // Without the one document no page can print, and none may open a
            // document of its own: the job stops.
            if (!opened) {
                LogMessage(2, "The print document could not be opened on %s.\r\n", gAppEnv->TargetPrinterName);
                FailJob(MSG_PRINT_FAILED, gAppEnv->TargetPrinterName);
                return;
            }
        }

        UsageDetails* record = nullptr;
        try {
            record = ProcessBitmap(page.get(), gAppEnv, gGhostscript->GSResolution, gIsCheckDocument);
        } catch (const std::runtime_error& error) {
            MessageBoxA(error.what(), kMessageCaption, MB_OK | MB_ICONERROR);
        }
        Print(page.get(), record);
    } catch (const std::exception& error) {
        // Nothing may leave the reader thread: that would end the process.
        LogText("Page handler error: %s\r\n", error.what());
    }
}
