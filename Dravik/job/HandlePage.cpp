#include <cmath>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

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
using Record = std::unique_ptr<UsageDetails, decltype(&std::free)>;

// Blocks of printed pages, into which later pages are read: freeing and
// allocating 8 MiB and more a page made the C library hand the memory back
// and fault it in again on every page. Two pages are in hand at most (one
// printing, the next prepared), so two blocks are kept.
constexpr size_t kSpareBlocks = 2;

// A page loaded and thinned ahead of its turn; no page when its file could
// not be loaded (the cause is logged).
struct PreparedPage {
    std::string path;
    PageBlock page;
    Record record{nullptr, &std::free};
};

// Shared by the page handler and the thread that prepares the next page.
std::mutex gPagesMutex;
std::vector<PageBlock> gSpareBlocks;
std::vector<PreparedPage> gPreparedPages;

PageBlock TakeSpareBlock()
{
    const std::lock_guard<std::mutex> lock(gPagesMutex);
    if (gSpareBlocks.empty()) return nullptr;
    PageBlock block = std::move(gSpareBlocks.back());
    gSpareBlocks.pop_back();
    return block;
}

void KeepSpareBlock(PageBlock block)
{
    if (!block) return;
    const std::lock_guard<std::mutex> lock(gPagesMutex);
    if (gSpareBlocks.size() < kSpareBlocks) gSpareBlocks.push_back(std::move(block));
}

// The prepared page of `path`, or one with an empty path.
PreparedPage TakePrepared(const char* path)
{
    const std::lock_guard<std::mutex> lock(gPagesMutex);
    for (auto it = gPreparedPages.begin(); it != gPreparedPages.end(); ++it) {
        if (it->path != path) continue;
        PreparedPage prepared = std::move(*it);
        gPreparedPages.erase(it);
        return prepared;
    }
    return {};
}

// Hands the page's block on to a later page, whichever way the handler ends.
struct KeepForNextPage {
    PageBlock& page;
    ~KeepForNextPage() { KeepSpareBlock(std::move(page)); }
};

// What a page needs before it can print: its file loaded into a spare block
// (then deleted) and the page thinned.
PreparedPage Prepare(const char* path)
{
    PreparedPage prepared;
    prepared.path = path;
    prepared.page.reset(LoadBitmapFile(path, TakeSpareBlock().release()));
    if (!prepared.page) {
        LOG_LAST_ERROR(2);
        LogText("Could not load the image file (%s)\r\n", path);
        return prepared;
    }
    DeleteFile(path);
    try {
        prepared.record.reset(
            ProcessBitmap(prepared.page.get(), gAppEnv, gGhostscript->GSResolution, gIsCheckDocument));
    } catch (const std::runtime_error& error) {
        MessageBoxA(error.what(), kMessageCaption, MB_OK | MB_ICONERROR);
    }
    return prepared;
}

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

// Whether the target prints on paper of the page's size, turned either way:
// only then may the page fill the target's printable area. On other paper it
// is fitted whole, its proportions kept.
bool TargetHasPagePaper()
{
    constexpr double kRoundingInches = 0.02;
    const DeviceCaps& page = gVirtualPrinter->GetDeviceCaps();
    const DeviceCaps& paper = gTargetPrinter->GetDeviceCaps();
    if (page.m_iResolutionX <= 0 || page.m_iResolutionY <= 0 || paper.m_iResolutionX <= 0 || paper.m_iResolutionY <= 0)
        return true;  // no paper to compare with
    const double pageWidth = static_cast<double>(page.m_iPageWidth) / page.m_iResolutionX;
    const double pageHeight = static_cast<double>(page.m_iPageHeight) / page.m_iResolutionY;
    const double paperWidth = static_cast<double>(paper.m_iPageWidth) / paper.m_iResolutionX;
    const double paperHeight = static_cast<double>(paper.m_iPageHeight) / paper.m_iResolutionY;
    const auto near = [](double a, double b) { return std::abs(a - b) <= kRoundingInches; };
    return (near(pageWidth, paperWidth) && near(pageHeight, paperHeight)) ||
           (near(pageWidth, paperHeight) && near(pageHeight, paperWidth));
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

void Print(HBITMAP page, Record owned)
{
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
        } else if (mode == BP_SCALE_PAGE && gTargetPrinter && !TargetHasPagePaper()) {
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

void PreparePage(const char* path)
{
    // A stopped or failed job prints nothing more: HandlePage drops the page.
    if (StopSignals::Received() || JobFailed()) return;
    try {
        PreparedPage prepared = Prepare(path);
        const std::lock_guard<std::mutex> lock(gPagesMutex);
        gPreparedPages.push_back(std::move(prepared));
    } catch (const std::exception& error) {
        // Nothing may leave this thread: that would end the process. The
        // page is handled as one never prepared.
        LogText("Page handler error: %s\r\n", error.what());
    }
}

void HandlePage(const char* path)
{
    PreparedPage prepared = TakePrepared(path);
    const KeepForNextPage keep{prepared.page};
    // A stopped or failed job prints nothing more; its pages only go away.
    if (StopSignals::Received() || JobFailed()) {
        DeleteFile(path);
        return;
    }
    try {
        if (prepared.path.empty()) prepared = Prepare(path);
        if (!prepared.page) return;

        if (gFirstPage) {
            bool opened = false;
            try {
                opened = FirstPage(prepared.page.get());
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
        Print(prepared.page.get(), std::move(prepared.record));
    } catch (const std::exception& error) {
        // Nothing may leave the page queue's thread: that would end the process.
        LogText("Page handler error: %s\r\n", error.what());
    }
}
