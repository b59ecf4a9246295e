#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "BackendJob.h"
#include "DevModeOptions.h"
#include "PrintJobInfo.h"

// The job record that the job processor reads from the user's hive, made
// from the scheduler's job arguments and options.
class JobRecord {
public:
    static constexpr const char* kRecordKey = "HKEY_CURRENT_USER\\SOFTWARE\\QMVK\\QRXPort";
    static constexpr const char* kSettingsKey = "HKEY_CURRENT_USER\\SOFTWARE\\QMVK\\Parsimo";

    // Options that say nothing about the page setup are passed over.
    static PrintJobInfo FromJob(const BackendJob& job, const std::vector<PrintOption>& options,
                                const std::string& machine);
    // Applies one option, in the scheduler's or the PPD's spelling; false
    // when it says nothing about the page setup or its value is malformed.
    static bool ApplyOption(DEVMODE& devMode, const std::string& name, const std::string& value);
    // "Custom.WIDTHxLENGTH" with an optional unit (pt, the default, in, cm,
    // mm, m, ft), in tenths of a millimetre.
    static bool ParseCustomSize(const std::string& value, int32_t& width, int32_t& length);

    // Each job also gets a record of its own below the shared one, named by
    // its id, so that jobs of one user running at once never read each
    // other's; the newest kKeptJobRecords of them are kept.
    static constexpr size_t kKeptJobRecords = 32;

    // Writes the record's fourteen values into the shared record and the
    // job's own, and the queue's name as the user's PrinterName when it names
    // another one, in one replacement of the hive file.
    static bool Store(const PrintJobInfo& record, const char* hivePath, const std::string& queue);
};
