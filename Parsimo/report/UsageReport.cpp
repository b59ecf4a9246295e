#include "UsageReport.h"

#include <sqlite3.h>

#include <climits>
#include <cmath>
#include <memory>

#include "UsageDatabase.h"

namespace {
// Per job first (its pages with and without details), then per group.
// Follows "SELECT <group key>". Sums are total()s, in floating point: sum()
// fails the whole report on a crafted row whose figures overflow 64 bits.
// COPIES and HOST stand for the jobs' copies and hosts (databases from before
// they were kept count every job once, from no known computer).
constexpr const char* kQuery =
    " AS g, count(*), total(pages), total(cheque), avg(savings), total(n), total(bb), total(ba), total(est),"
    " min(day), max(day), total(sides)"
    " FROM (SELECT j.user, j.printer, date(j.time, 'localtime') AS day, j.pages, j.cheque, j.savings,"
    "   j.pages * COPIES AS sides, HOST AS host,"
    "   count(p.job) AS n, total(p.black_before) AS bb, total(p.black_after) AS ba,"
    "   max(j.pages - count(p.job), 0) * j.savings AS est"
    "   FROM jobs j LEFT JOIN pages p ON p.job = j.id"
    "   WHERE j.time >= coalesce(strftime('%Y-%m-%dT%H:%M:%SZ', ?1, 'utc'), '')"
    "   AND j.time < coalesce(strftime('%Y-%m-%dT%H:%M:%SZ', ?2, '+1 day', 'utc'), '9')"
    "   AND (?3 IS NULL OR j.user = ?3)"
    "   GROUP BY j.id)"
    " GROUP BY g ORDER BY g";

const char* GroupKey(ReportOptions::GroupBy groupBy)
{
    switch (groupBy) {
    case ReportOptions::GroupBy::User: return "user";
    case ReportOptions::GroupBy::Printer: return "printer";
    case ReportOptions::GroupBy::Host: return "host";
    case ReportOptions::GroupBy::Day: return "day";
    case ReportOptions::GroupBy::Month: break;
    }
    return "substr(day, 1, 7)";
}

std::string Text(sqlite3_stmt* statement, int column)
{
    const unsigned char* text = sqlite3_column_text(statement, column);
    return text ? reinterpret_cast<const char*>(text) : "";
}

// A sum as a count, held at the limits of 64 bits.
int64_t Count(sqlite3_stmt* statement, int column)
{
    const double value = sqlite3_column_double(statement, column);
    if (std::isnan(value)) return 0;
    if (value >= 0x1p63) return INT64_MAX;
    if (value <= -0x1p63) return INT64_MIN;
    return static_cast<int64_t>(value);
}

void BindOptional(sqlite3_stmt* statement, int index, const std::optional<std::string>& value)
{
    if (value) sqlite3_bind_text(statement, index, value->c_str(), -1, SQLITE_TRANSIENT);
}
}  // namespace

bool UsageReport::Load(const std::string& database, const ReportOptions& options)
{
    m_groups.clear();
    m_from = options.from.value_or("");
    m_to = options.to.value_or("");
    const UsageDatabase db(database.c_str(), UsageDatabase::Access::Read);
    if (!db.IsOpen()) {
        m_error = "the statistics database " + database + " " + db.Error();
        return false;
    }
    if (db.IsEmpty()) return true;

    // Databases of earlier versions have no copies (each job counts once) or
    // no hosts (all under an empty name).
    std::string sql = std::string("SELECT ") + GroupKey(options.groupBy) + kQuery;
    sql.replace(sql.find("COPIES"), 6, db.Version() >= 2 ? "j.copies" : "1");
    sql.replace(sql.find("HOST"), 4, db.Version() >= 3 ? "j.host" : "''");
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db.Handle(), sql.c_str(), -1, &raw, nullptr) != SQLITE_OK) {
        m_error = "the statistics database " + database + " cannot be read (" + sqlite3_errmsg(db.Handle()) + ")";
        sqlite3_finalize(raw);
        return false;
    }
    const std::unique_ptr<sqlite3_stmt, decltype(&sqlite3_finalize)> statement(raw, &sqlite3_finalize);
    BindOptional(raw, 1, options.from);
    BindOptional(raw, 2, options.to);
    BindOptional(raw, 3, options.user);
    int rc;
    while ((rc = sqlite3_step(raw)) == SQLITE_ROW) {
        ReportGroup group;
        group.name = Text(raw, 0);
        group.jobs = sqlite3_column_int64(raw, 1);
        group.pages = Count(raw, 2);
        group.chequeJobs = Count(raw, 3);
        group.averageSavings = sqlite3_column_double(raw, 4);
        group.detailedPages = Count(raw, 5);
        const double before = sqlite3_column_double(raw, 6);
        const double after = sqlite3_column_double(raw, 7);
        if (group.detailedPages > 0) {
            // Coverage figures are ten-thousandths: a hundredth of them is a percentage.
            group.blackBefore = before / static_cast<double>(group.detailedPages) / 100.0;
            group.blackAfter = after / static_cast<double>(group.detailedPages) / 100.0;
        }
        group.measuredSaved = (before - after) / kReferenceCoverage;
        // A page at reference coverage thinned by the savings percentage saves that share of a reference page.
        group.estimatedSaved = sqlite3_column_double(raw, 8) / 100.0;
        group.firstDay = Text(raw, 9);
        group.lastDay = Text(raw, 10);
        group.sheetSides = Count(raw, 11);
        m_groups.push_back(std::move(group));
    }
    if (rc == SQLITE_INTERRUPT) {
        m_error = "the statistics database " + database + " was given up after " +
                  std::to_string(UsageDatabase::kReadTimeLimit.count() / 1000) +
                  " seconds of reading (a file made to keep its reader busy?)";
        m_groups.clear();
        return false;
    }
    if (rc != SQLITE_DONE) {
        m_error = "the statistics database " + database + " cannot be read (" + sqlite3_errmsg(db.Handle()) + ")";
        m_groups.clear();
        return false;
    }
    return true;
}

std::string UsageReport::Period() const
{
    std::string first = m_from, last = m_to;
    for (const ReportGroup& group : m_groups) {
        if (m_from.empty() && (first.empty() || group.firstDay < first)) first = group.firstDay;
        if (m_to.empty() && group.lastDay > last) last = group.lastDay;
    }
    if (first.empty() && last.empty()) return "all time";
    if (first.empty()) return "until " + last;
    if (last.empty()) return "from " + first;
    return first + " to " + last;
}
