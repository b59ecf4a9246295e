#pragma once
#include <string>
#include <vector>

#include "DevModeOptions.h"

// What a job asks of the toner saving, read from its options and its queue's
// PPD, passed to the job processor as variables it decides by.
class JobSaving {
public:
    // "PARSIMO_TONER_SAVING=...", "PARSIMO_PRINT_QUALITY=..." and
    // "PARSIMO_QUEUE_SAVING=...", each only when asked.
    static std::vector<std::string> Variables(const std::vector<PrintOption>& options, const std::string& ppdText);
    // The print quality a job asked for, by the PPD's choice (cupsPrintQuality)
    // or IPP's print-quality (3, 4, 5): "Draft", "Normal", "High" or empty.
    static std::string Quality(const std::vector<PrintOption>& options);
    // The queue's PPD (the scheduler's PPD variable), at most its first
    // kPpdLimit bytes; empty when it cannot be read.
    static std::string ReadPpd(const std::string& path);
    static constexpr size_t kPpdLimit = 4 << 20;
    // The default choice of an option in a PPD ("*DefaultTonerSaving: 30"); empty when none.
    static std::string PpdDefault(const std::string& ppdText, const std::string& option);
};
