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
#include "PageSetup.h"
#include "PrintJobInfo.h"
#include "Printer.h"

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

int32_t Truncate(double value) { return static_cast<int32_t>(std::trunc(value)); }

// Paper fitting, printer setup and the one print document, once per run.
void FirstPage(HBITMAP page)
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
    if (gJobInfo->Orientation == 2) {
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
        printer.Print(gTargetPrinter ? gTargetPrinter->GetDC() : nullptr, gJobInfo->PrintDocumentName,
                      gIsCheckDocument ? BP_SCALE_NONE : BP_SCALE_PAGE);
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
            try {
                FirstPage(page.get());
            } catch (...) {
                // Opening the document failed: the page is lost, the job goes on.
                LOG_LAST_ERROR(2);
                LogText("The print document could not be opened for this page.\r\n");
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
