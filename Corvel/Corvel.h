#pragma once
#include <cstdint>

// The usage statistics library, libCorvel.so. The job processor loads it for
// every call, so each call opens the database, writes in one transaction and
// closes it again. Results are the job's statistics id, 0 when nothing was
// recorded (wrong password, bad figures, a database that is not ours or busy
// beyond the timeout). The second argument is reserved and ignored.
#define CORVEL_EXPORT __attribute__((visibility("default")))

extern "C" {
CORVEL_EXPORT int32_t SaveUsageStatistics(const char* database, const char* reserved, const char* password,
                                          const char* userName, const char* printerName, const char* outputFormat,
                                          int32_t pages, int32_t savingsPercentage, int32_t checkDocument);

// The copies the target was asked to make of a recorded job (1 unless set).
CORVEL_EXPORT int32_t SaveUsageCopies(const char* database, const char* reserved, const char* password,
                                      int32_t statisticsId, int32_t copies);

// One page's ink coverage, each figure in ten-thousandths of the page's pixels.
CORVEL_EXPORT int32_t SaveUsageDetails(const char* database, const char* reserved, const char* password,
                                       int32_t statisticsId, int32_t page, int32_t cyanBefore, int32_t cyanAfter,
                                       int32_t magentaBefore, int32_t magentaAfter, int32_t yellowBefore,
                                       int32_t yellowAfter, int32_t blackBefore, int32_t blackAfter);
}
