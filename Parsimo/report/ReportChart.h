#pragma once
#include <string>
#include <vector>

#include "ReportOptions.h"
#include "UsageReport.h"

// A bar chart of pages printed and toner saved per group, written as PNG or
// SVG by the file's extension.
class ReportChart {
public:
    static constexpr int kHeight = 540;
    static constexpr int kMinWidth = 860;
    static constexpr int kMaxWidth = 4000;
    // The chart's width for this many groups.
    static int Width(size_t groups);
    // False with a reason in `error` when the file cannot be written.
    static bool Write(const std::string& path, const std::vector<ReportGroup>& groups, ReportOptions::GroupBy groupBy,
                      const std::string& period, std::string& error);
};
