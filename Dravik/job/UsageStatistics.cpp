#include "UsageStatistics.h"

#include <cstdint>

#include "AppEnvironment.h"
#include "BitmapProcessing.h"
#include "Dravik.h"
#include "FixedText.h"
#include "Library.h"
#include "PrintJobInfo.h"

namespace {
constexpr const char* kLibraryName = "libCorvel.so";
constexpr const char* kPassword = "3vorkT8";

using SaveUsageStatisticsFn = int32_t (*)(const char*, const char*, const char*, const char*, const char*, const char*,
                                          int32_t, int32_t, int32_t);
using SaveUsageDetailsFn = int32_t (*)(const char*, const char*, const char*, int32_t, int32_t, int32_t, int32_t,
                                       int32_t, int32_t, int32_t, int32_t, int32_t, int32_t);

char gDatabase[kMaxPath + 1] = "";

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
    TextBuffer path(gAppEnv->InstallDir);
    path.Append(kLibraryName);

    int32_t id = 0;
    CallExport<SaveUsageStatisticsFn>(path, "SaveUsageStatistics", [&](SaveUsageStatisticsFn save) {
        id = save(gDatabase, "", kPassword, gJobInfo->UserName, gAppEnv->TargetPrinterName, gAppEnv->PrintOutFormat,
                  static_cast<int32_t>(gPrintedPages), gAppEnv->SavingsPercentage, gIsCheckDocument);
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
