#pragma once
#include <iosfwd>
#include <string>
#include <vector>

#include "ReportOptions.h"
#include "UsageReport.h"

// Writes the groups of a report as a terminal table, CSV or JSON. CSV and
// JSON share their keys; CSV starts with group,jobs,pages. Names come from a
// file any user may have written: none reaches the output as it is.
class ReportWriter {
public:
    static void WriteTable(std::ostream& out, const std::vector<ReportGroup>& groups, ReportOptions::GroupBy groupBy,
                           const std::string& period);
    static void WriteCsv(std::ostream& out, const std::vector<ReportGroup>& groups);
    static void WriteJson(std::ostream& out, const std::vector<ReportGroup>& groups);
    // The text as a JSON string, quoted; bytes that are not UTF-8 become U+FFFD.
    static std::string JsonString(const std::string& text);
    // The text with what a terminal would act on (controls, reordering marks)
    // and bytes that are not UTF-8 written as \xHH escapes.
    static std::string TerminalText(const std::string& text);
    // Terminal-safe, never read as a formula, quoted where CSV needs it.
    static std::string CsvField(const std::string& text);
};
