#include "ReportCommand.h"

#include <iostream>

#include "AppEnvironment.h"
#include "ReportAccess.h"
#include "ReportChart.h"
#include "ReportOptions.h"
#include "ReportWriter.h"
#include "UsageReport.h"

namespace {
constexpr const char* kDatabaseName = "Parsimo.sdf";

// The all-users database of the installation for root and the printing
// administrators, else the user's own; found without creating any folder.
bool DefaultDatabase(std::string& path, std::string& error)
{
    const AppEnvironment env{AppEnvironment::FoldersOnly{}};
    const bool everyone = ReadsEveryonesUsage();
    const char* folder = everyone ? env.CommonAppDataDir : env.AppDataDir;
    if (folder[0] == '\0') {
        error = everyone ? "the all-users data folder is unknown" : "your data folder is unknown (HOME is not set)";
        return false;
    }
    path = std::string(folder) + kDatabaseName;
    return true;
}
}  // namespace

int RunReport(int argc, char** argv)
{
    std::vector<std::string> words;
    for (int i = 0; i < argc; ++i)
        if (argv[i] != nullptr) words.emplace_back(argv[i]);
    return RunReport(words, std::cout, std::cerr);
}

int RunReport(const std::vector<std::string>& words, std::ostream& out, std::ostream& err)
{
    ReportOptions options;
    std::string error;
    if (!ParseReportOptions(words, options, error)) {
        err << "Parsimo report: " << error << "\n";
        WriteReportUsage(err);
        return 2;
    }
    if (options.help) {
        WriteReportUsage(out);
        return 0;
    }
    std::string database = options.database;
    if (database.empty() && !DefaultDatabase(database, error)) {
        err << "Parsimo report: " << error << "\n";
        return 1;
    }

    UsageReport report;
    if (!report.Load(database, options)) {
        // The reason may quote the file's own names.
        err << "Parsimo report: " << ReportWriter::TerminalText(report.Error()) << "\n";
        return 1;
    }
    const std::string period = report.Period();
    const auto& groups = report.Groups();
    if (groups.empty()) {
        std::string nothing = "Nothing was printed ";
        nothing += period == "all time" ? "yet" : "in the period " + period;
        if (options.user) nothing += " by " + *options.user;
        nothing += ".";
        // Machine-readable output stays well-formed; the line goes beside it.
        if (options.format == ReportOptions::Format::Csv) ReportWriter::WriteCsv(out, groups);
        if (options.format == ReportOptions::Format::Json) ReportWriter::WriteJson(out, groups);
        (options.format == ReportOptions::Format::Table ? out : err) << nothing << "\n";
        return 0;
    }
    switch (options.format) {
    case ReportOptions::Format::Csv: ReportWriter::WriteCsv(out, groups); break;
    case ReportOptions::Format::Json: ReportWriter::WriteJson(out, groups); break;
    case ReportOptions::Format::Table: ReportWriter::WriteTable(out, groups, options.groupBy, period); break;
    }
    if (!options.chart.empty() && !ReportChart::Write(options.chart, groups, options.groupBy, period, error)) {
        err << "Parsimo report: " << error << "\n";
        return 1;
    }
    return 0;
}
