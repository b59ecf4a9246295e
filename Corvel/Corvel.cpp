#include "Corvel.h"

#include <cstring>

#include "UsageDatabase.h"

namespace {
// The product's own calls carry this; anything else records nothing.
constexpr const char* kPassword = "3vorkT8";

bool Authorised(const char* database, const char* password)
{
    return database != nullptr && database[0] != '\0' && password != nullptr && std::strcmp(password, kPassword) == 0;
}

std::string Field(const char* text)
{
    return text == nullptr ? std::string() : std::string(text, strnlen(text, UsageDatabase::kMaxText));
}

bool InRange(int32_t value, int32_t low, int32_t high)
{
    return value >= low && value <= high;
}
}  // namespace

// Nothing may leave these functions: the caller is C.
int32_t SaveUsageStatistics(const char* database, const char* /*reserved*/, const char* password, const char* userName,
                            const char* printerName, const char* outputFormat, int32_t pages, int32_t savingsPercentage,
                            int32_t checkDocument)
{
    if (!Authorised(database, password) || pages <= 0 || !InRange(savingsPercentage, 0, 100)) return 0;
    try {
        UsageDatabase db(database, UsageDatabase::Access::Write);
        JobFigures job;
        job.userName = Field(userName);
        job.printerName = Field(printerName);
        job.outputFormat = Field(outputFormat);
        job.pages = pages;
        job.savingsPercentage = savingsPercentage;
        job.checkDocument = checkDocument != 0;
        return db.AddJob(job);
    } catch (...) {
        return 0;
    }
}

int32_t SaveUsageCopies(const char* database, const char* /*reserved*/, const char* password, int32_t statisticsId,
                        int32_t copies)
{
    if (!Authorised(database, password) || statisticsId <= 0 || copies <= 0) return 0;
    try {
        UsageDatabase db(database, UsageDatabase::Access::Write);
        return db.SetCopies(statisticsId, copies) ? statisticsId : 0;
    } catch (...) {
        return 0;
    }
}

int32_t SaveUsageDetails(const char* database, const char* /*reserved*/, const char* password, int32_t statisticsId,
                         int32_t page, int32_t cyanBefore, int32_t cyanAfter, int32_t magentaBefore,
                         int32_t magentaAfter, int32_t yellowBefore, int32_t yellowAfter, int32_t blackBefore,
                         int32_t blackAfter)
{
    const PageFigures figures{
        {cyanBefore, cyanAfter, magentaBefore, magentaAfter, yellowBefore, yellowAfter, blackBefore, blackAfter}};
    if (!Authorised(database, password) || statisticsId <= 0 || page <= 0) return 0;
    for (const int32_t value : figures.values)
        if (!InRange(value, 0, UsageDatabase::kMaxCoverage)) return 0;
    try {
        UsageDatabase db(database, UsageDatabase::Access::Write);
        return db.AddPage(statisticsId, page, figures) ? statisticsId : 0;
    } catch (...) {
        return 0;
    }
}
