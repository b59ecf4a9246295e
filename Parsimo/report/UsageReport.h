#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "ReportOptions.h"

// Figures of one group of jobs (a user, a printer, a month or a day).
struct ReportGroup {
    std::string name;
    int64_t jobs = 0;
    int64_t pages = 0;
    int64_t sheetSides = 0;  // pages times the copies asked: what reached paper
    int64_t chequeJobs = 0;
    double averageSavings = 0;  // percent, per job
    int64_t detailedPages = 0;  // pages with measured coverage
    double blackBefore = 0;     // average black coverage in percent, over detailed pages
    double blackAfter = 0;
    // Toner saved in ISO/IEC 19752 reference pages (a page at 5 % coverage):
    // measured from the detailed pages, estimated for the others.
    double measuredSaved = 0;
    double estimatedSaved = 0;
    std::string firstDay, lastDay;  // local dates of the first and last job
    double Saved() const { return measuredSaved + estimatedSaved; }
};

// Reads the statistics database and sums it up by the options' grouping.
class UsageReport {
public:
    // Coverage of a reference page, ten-thousandths.
    static constexpr double kReferenceCoverage = 500.0;

    // False with a reason (naming the file) when the database is missing, not ours or unreadable.
    bool Load(const std::string& database, const ReportOptions& options);
    const std::vector<ReportGroup>& Groups() const { return m_groups; }
    const std::string& Error() const { return m_error; }
    // "2024-01-01 to 2024-03-31": the asked period, else the days that hold jobs.
    std::string Period() const;

private:
    std::vector<ReportGroup> m_groups;
    std::string m_error;
    std::string m_from, m_to;
};
