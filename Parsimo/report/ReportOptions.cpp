#include "ReportOptions.h"

#include <algorithm>
#include <chrono>
#include <ostream>

#include "TextBuffer.h"

namespace {
bool EndsWithNoCase(const std::string& text, const char* ending)
{
    const std::string tail(ending);
    return text.size() > tail.size() &&
           TextBuffer(text.substr(text.size() - tail.size()).c_str()).Compare(tail.c_str(), true) == 0;
}

bool ParseDigits(const std::string& text, size_t at, size_t count, int& value)
{
    value = 0;
    for (size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        value = value * 10 + (text[i] - '0');
    }
    return true;
}

// The words the options take, with what each means; names both ways.
template <typename Value>
struct Named {
    const char* name;
    Value value;
};
constexpr Named<ReportOptions::GroupBy> kGroupings[] = {{"user", ReportOptions::GroupBy::User},
                                                        {"printer", ReportOptions::GroupBy::Printer},
                                                        {"host", ReportOptions::GroupBy::Host},
                                                        {"month", ReportOptions::GroupBy::Month},
                                                        {"day", ReportOptions::GroupBy::Day}};
constexpr Named<ReportOptions::Format> kFormats[] = {{"table", ReportOptions::Format::Table},
                                                     {"csv", ReportOptions::Format::Csv},
                                                     {"json", ReportOptions::Format::Json}};

template <typename Value, size_t N>
bool FindNamed(const std::string& word, const Named<Value> (&names)[N], Value& value)
{
    for (const Named<Value>& named : names)
        if (word == named.name) {
            value = named.value;
            return true;
        }
    return false;
}
}  // namespace

bool IsReportDate(const std::string& text)
{
    int year = 0, month = 0, day = 0;
    if (text.size() != 10 || text[4] != '-' || text[7] != '-' || !ParseDigits(text, 0, 4, year) ||
        !ParseDigits(text, 5, 2, month) || !ParseDigits(text, 8, 2, day))
        return false;
    return std::chrono::year_month_day(std::chrono::year(year), std::chrono::month(static_cast<unsigned>(month)),
                                       std::chrono::day(static_cast<unsigned>(day)))
        .ok();
}

const char* GroupByName(ReportOptions::GroupBy groupBy)
{
    for (const auto& named : kGroupings)
        if (named.value == groupBy) return named.name;
    return "month";
}

bool ParseReportOptions(const std::vector<std::string>& words, ReportOptions& options, std::string& error)
{
    for (size_t i = 0; i < words.size(); ++i) {
        std::string name = words[i];
        std::optional<std::string> value;
        if (const size_t equals = name.find('='); name.rfind("--", 0) == 0 && equals != std::string::npos) {
            value = name.substr(equals + 1);
            name.resize(equals);
        }
        if (name == "--help" || name == "-h") {
            options.help = true;
            continue;
        }
        static const char* const kTakesValue[] = {"--from",   "--to",    "--user",    "--by",
                                                  "--format", "--chart", "--database"};
        if (std::find(std::begin(kTakesValue), std::end(kTakesValue), name) == std::end(kTakesValue)) {
            error = "unknown option " + words[i];
            return false;
        }
        if (!value) {
            if (i + 1 >= words.size()) {
                error = "option " + name + " needs a value";
                return false;
            }
            value = words[++i];
        }
        const std::string& v = *value;
        if (name == "--from" || name == "--to") {
            if (!IsReportDate(v)) {
                error = "bad date for " + name + ": " + v + " (expected YYYY-MM-DD)";
                return false;
            }
            (name == "--from" ? options.from : options.to) = v;
        } else if (name == "--user") {
            options.user = v;
        } else if (name == "--by") {
            if (!FindNamed(v, kGroupings, options.groupBy)) {
                error = "bad value for --by: " + v + " (user, printer, host, month or day)";
                return false;
            }
        } else if (name == "--format") {
            if (!FindNamed(v, kFormats, options.format)) {
                error = "bad value for --format: " + v + " (table, csv or json)";
                return false;
            }
        } else if (name == "--chart") {
            if (!EndsWithNoCase(v, ".png") && !EndsWithNoCase(v, ".svg")) {
                error = "bad file for --chart: " + v + " (it must end in .png or .svg)";
                return false;
            }
            options.chart = v;
        } else {
            if (v.empty()) {
                error = "option --database needs a file";
                return false;
            }
            options.database = v;
        }
    }
    if (options.from && options.to && *options.from > *options.to) {
        error = "bad period: --from " + *options.from + " is after --to " + *options.to;
        return false;
    }
    return true;
}

void WriteReportUsage(std::ostream& out)
{
    out << "Usage: Parsimo report [--from YYYY-MM-DD] [--to YYYY-MM-DD] [--user NAME]\n"
           "                      [--by user|printer|host|month|day] [--format table|csv|json]\n"
           "                      [--chart FILE.png|FILE.svg] [--database PATH]\n"
           "Pages printed and toner saved, from the usage statistics. Root and members of the\n"
           "group lpadmin read the all-users database (every user's jobs); other users read\n"
           "their own database (their own jobs). --database reads that file instead. The\n"
           "database is only read: nothing is created or changed.\n";
}
