#pragma once
#include <string>
#include <vector>

#include "DevModeOptions.h"

// What a job asks of the toner saving, read from its options and its queue's
// PPD, passed to the job processor as variables it decides by.
class JobSaving {
public:
    // "PARSIMO_TONER_SAVING=...", "PARSIMO_PRINT_QUALITY=..." and
    // "PARSIMO_QUEUE_SAVING=..." (the queue's default TonerSaving), each only when asked.
    static std::vector<std::string> Variables(const std::vector<PrintOption>& options, const std::string& queueDefault);
    // The print quality a job asked for, by the PPD's choice (cupsPrintQuality)
    // or IPP's print-quality (3, 4, 5): "Draft", "Normal", "High" or empty.
    static std::string Quality(const std::vector<PrintOption>& options);
};
