#pragma once
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

// What `Parsimo report` was asked for.
struct ReportOptions {
    enum class GroupBy { User, Printer, Host, Month, Day };
    enum class Format { Table, Csv, Json };
    std::optional<std::string> from, to;  // YYYY-MM-DD, local dates, both included
    std::optional<std::string> user;
    GroupBy groupBy = GroupBy::Month;
    Format format = Format::Table;
    std::string chart;     // .png or .svg file, empty: none
    std::string database;  // empty: the all-users database for administrators, else the user's own
    bool help = false;
};

// Reads the words after `report`; false with a message naming the bad word in `error`.
bool ParseReportOptions(const std::vector<std::string>& words, ReportOptions& options, std::string& error);
// True for a real calendar date written YYYY-MM-DD.
bool IsReportDate(const std::string& text);
const char* GroupByName(ReportOptions::GroupBy groupBy);
void WriteReportUsage(std::ostream& out);
