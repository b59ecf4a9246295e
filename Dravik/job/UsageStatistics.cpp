#include "UsageStatistics.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "AppEnvironment.h"
#include "BitmapProcessing.h"
#include "Dravik.h"
#include "File.h"
#include "FixedText.h"
#include "Library.h"
#include "PrintJobInfo.h"
#include "UsageHandOff.h"

namespace {
constexpr const char* kLibraryName = "libCorvel.so";
constexpr const char* kPassword = "3vorkT8";

using SaveUsageStatisticsFn = int32_t (*)(const char*, const char*, const char*, const char*, const char*, const char*,
                                          int32_t, int32_t, int32_t);
using SaveUsageCopiesFn = int32_t (*)(const char*, const char*, const char*, int32_t, int32_t);
using SaveUsageDetailsFn = int32_t (*)(const char*, const char*, const char*, int32_t, int32_t, int32_t, int32_t,
                                       int32_t, int32_t, int32_t, int32_t, int32_t, int32_t);

char gDatabase[kMaxPath + 1] = "";

// The pipe the backend gave for the job's figures; -1 when run by hand.
int HandOffPipe()
{
    const char* text = std::getenv("PARSIMO_STATISTICS_FD");
    if (!text || !*text) return -1;
    char* end = nullptr;
    const long fd = std::strtol(text, &end, 10);
    return *end == '\0' && fd > 2 && fd < 1024 ? static_cast<int>(fd) : -1;
}

// The figures for the all-users database go to the backend, which writes it.
void HandOffFigures(const JobFigures& job)
{
    int fd = HandOffPipe();
    if (fd < 0) return;
    std::string text = UsageHandOff::JobLine(job);
    for (int32_t i = 0; gUsageRecords && i < gUsageRecords->GetSize(); ++i)
        if (const auto* record = static_cast<const UsageDetails*>(gUsageRecords->GetAt(i)))
            text += UsageHandOff::PageLine(
                i + 1,
                PageFigures{{record->CyanBefore, record->CyanAfter, record->MagentaBefore, record->MagentaAfter,
                             record->YellowBefore, record->YellowAfter, record->BlackBefore, record->BlackAfter}});
    text += UsageHandOff::kEndLine;
    if (!WriteAllTo(fd, text.data(), text.size()))
        LogMessage(2, "The job's usage figures could not be handed to the backend.\r\n");
    CloseHandle(fd);
}

// Loads the library for one call, as the library expects; false when it or the export is missing.
template <class Fn, class Call>
bool CallExport(const TextBuffer& path, const char* name, Call call)
{
    Library library(path.GetText());
    if (!library.IsLoaded()) {
        LogText("File %s not found!\r\n", path.GetText());
        return false;
    }
    const Fn function = library.GetFunction<Fn>(name);
    if (!function) {
        LogText("%s was not found in %s!\r\n", name, path.GetText());
        return false;
    }
    call(function);
    return true;
}
}  // namespace

void SetUsageDatabase(const char* path)
{
    CopyField(gDatabase, path);
}

void SaveJobStatistics()
{
    JobFigures figures;
    figures.printerName = gAppEnv->TargetPrinterName;
    figures.outputFormat = gAppEnv->PrintOutFormat;
    figures.pages = static_cast<int32_t>(gPrintedPages);
    figures.savingsPercentage = gAppEnv->SavingsPercentage;
    figures.checkDocument = gIsCheckDocument != 0;
    // A file is written once; the target makes the copies of a printed job.
    if (!gAppEnv->PrintOutFormat[0])
        figures.copies = std::clamp(gJobInfo->Copies, 1, static_cast<int32_t>(UsageHandOff::kMaxCopies));
    HandOffFigures(figures);

    TextBuffer path(gAppEnv->InstallDir);
    path.Append(kLibraryName);

    int32_t id = 0;
    CallExport<SaveUsageStatisticsFn>(path, "SaveUsageStatistics", [&](SaveUsageStatisticsFn save) {
        id = save(gDatabase, "", kPassword, gJobInfo->UserName, gAppEnv->TargetPrinterName, gAppEnv->PrintOutFormat,
                  static_cast<int32_t>(gPrintedPages), gAppEnv->SavingsPercentage, gIsCheckDocument);
    });
    if (id != 0 && figures.copies != 1)
        CallExport<SaveUsageCopiesFn>(path, "SaveUsageCopies", [&](SaveUsageCopiesFn save) {
            save(gDatabase, "", kPassword, id, figures.copies);
        });
    if (id == 0 || !gUsageRecords) return;

    for (int32_t i = 0; i < gUsageRecords->GetSize(); ++i) {
        const auto* record = static_cast<const UsageDetails*>(gUsageRecords->GetAt(i));
        if (!record) continue;
        CallExport<SaveUsageDetailsFn>(path, "SaveUsageDetails", [&](SaveUsageDetailsFn save) {
            save(gDatabase, "", kPassword, id, i + 1, record->CyanBefore, record->CyanAfter, record->MagentaBefore,
                 record->MagentaAfter, record->YellowBefore, record->YellowAfter, record->BlackBefore,
                 record->BlackAfter);
        });
    }
}
