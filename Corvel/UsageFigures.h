#pragma once
#include <cstdint>
#include <string>

// Figures of one job as the job processor reports them.
struct JobFigures {
    std::string userName;
    std::string printerName;
    std::string outputFormat;  // "" for printed jobs, "PDF" or "IMAGE"
    int32_t pages = 0;         // printed once: the target makes the copies
    int32_t copies = 1;        // asked of the target; 1 for files
    int32_t savingsPercentage = 0;
    bool checkDocument = false;
    std::string hostName;  // the computer the job came from; empty when not known
};

// Ink coverage of one page, ten-thousandths of its pixels, in the job processor's record order.
struct PageFigures {
    static constexpr int kCount = 8;
    int32_t values[kCount] = {};
};
