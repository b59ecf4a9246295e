#pragma once
#include <cstdint>
#include <vector>

#include "DevMode.h"
#include "DevModeOptions.h"
#include "Log.h"
#include "RegistryKey.h"

// The job's record: left in the registry by the port monitor, refreshed from
// the spooler's own job entry. Fields are named like the registry values.
class PrintJobInfo {
public:
    PrintJobInfo();

    bool ReadFromRegistry(HKEY root, const char* subkey);
    // True when the spooler's entry for the job was read; it also gives the
    // job's requests that the target's job is to carry (TargetOptions).
    // Page ranges, number-up and orientation are not among them: the
    // spooler's filters applied those to the document already.
    bool ReadFromSpooler(const char* printerName, int32_t jobId);
    void LogInfo() const;

    // Takes the page setup fields that a spooler's job entry carries.
    void SetPageSetup(const DEVMODE& devMode);

    uint32_t JobID = 0;
    char PrintDocumentName[kMaxPath + 1] = {};
    char UserName[kMaxPath + 1] = {};
    char MachineName[kMaxPath + 1] = {};
    int32_t Orientation = DMORIENT_PORTRAIT;
    int32_t PaperSize = DMPAPER_LETTER;
    int32_t PaperLength = 0;
    int32_t PaperWidth = 0;
    int32_t PrintQuality = kDefaultPrintQuality;
    int32_t dmScale = 100;
    int32_t Copies = 1;
    int32_t Collate = 1;
    int32_t TotalPages = 1;
    int32_t PagesPrinted = 0;
    // Requests beyond the page setup, by their spooler names: sides, paper
    // source and type, colour mode, output bin, collation.
    std::vector<PrintOption> TargetOptions;
};
