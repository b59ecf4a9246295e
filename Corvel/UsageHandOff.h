#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "UsageFigures.h"

// The usage figures of one job as the job processor hands them to the
// backend, which alone writes the all-users database. One text line each:
//   job PAGES SAVINGS CHEQUE FORMAT PRINTER COPIES
//   page N CYAN_BEFORE CYAN_AFTER ... BLACK_AFTER
//   end
// Texts are percent-encoded (never empty: "-" stands for ""). The user is not
// part of it: who the job belongs to is the backend's to say, not the job's.
class UsageHandOff {
public:
    // A larger hand-off is not read: a hundred thousand pages fit.
    static constexpr size_t kMaxSize = 8u << 20;
    static constexpr int32_t kMaxPages = 1000000;
    static constexpr int32_t kMaxCopies = 32767;

    struct Record {
        JobFigures job;
        std::vector<std::pair<int32_t, PageFigures>> pages;
    };

    static std::string JobLine(const JobFigures& job);
    static std::string PageLine(int32_t page, const PageFigures& figures);
    static constexpr std::string_view kEndLine = "end\n";

    // False with the reason for anything but a whole, well-formed hand-off
    // whose figures are in range: a job processor that stopped halfway, or
    // one that lies about its figures, records nothing.
    static bool Parse(std::string_view text, Record& record, std::string& fault);
};
