#include "ReportWriter.h"

#include <algorithm>
#include <cstdio>
#include <ostream>

namespace {
constexpr const char* kKeys[] = {"group",
                                 "jobs",
                                 "pages",
                                 "cheque_jobs",
                                 "avg_savings_percent",
                                 "detailed_pages",
                                 "avg_black_before_percent",
                                 "avg_black_after_percent",
                                 "toner_saved_ref_pages",
                                 "toner_saved_estimated_ref_pages"};

std::string Fixed(double value, bool oneDecimal)
{
    char text[64];
    std::snprintf(text, sizeof text, oneDecimal ? "%.1f" : "%.2f", value);
    return text;
}

// Every figure of a group after its name, as text; empty where there is none.
std::vector<std::string> Figures(const ReportGroup& g)
{
    const bool detailed = g.detailedPages > 0;
    return {std::to_string(g.jobs),
            std::to_string(g.pages),
            std::to_string(g.chequeJobs),
            Fixed(g.averageSavings, true),
            std::to_string(g.detailedPages),
            detailed ? Fixed(g.blackBefore, false) : "",
            detailed ? Fixed(g.blackAfter, false) : "",
            Fixed(g.Saved(), false),
            Fixed(g.estimatedSaved, false)};
}

// Length of a valid UTF-8 sequence starting at text[i], 0 when there is none.
size_t Utf8Length(const std::string& text, size_t i)
{
    const auto c = static_cast<unsigned char>(text[i]);
    size_t length = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (length == 0 || i + length > text.size() || (length == 2 && c < 0xC2)) return 0;
    for (size_t k = 1; k < length; ++k)
        if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return 0;
    return length;
}

// Display width of a name in the table: UTF-8 sequences count once.
size_t Width(const std::string& text)
{
    size_t width = 0;
    for (size_t i = 0; i < text.size(); ++i) width += (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80;
    return width;
}

std::string Pad(const std::string& text, size_t width, bool left)
{
    const std::string fill(width > Width(text) ? width - Width(text) : 0, ' ');
    return left ? text + fill : fill + text;
}
}  // namespace

std::string ReportWriter::JsonString(const std::string& text)
{
    std::string out = "\"";
    for (size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        const size_t length = Utf8Length(text, i);
        if (length == 0) {
            out += "\\ufffd";
            ++i;
            continue;
        }
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            out += escape;
        } else {
            out.append(text, i, length);
        }
        i += length;
    }
    return out + "\"";
}

std::string ReportWriter::CsvField(const std::string& text)
{
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string out = "\"";
    for (char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

void ReportWriter::WriteCsv(std::ostream& out, const std::vector<ReportGroup>& groups)
{
    for (size_t k = 0; k < std::size(kKeys); ++k) out << (k ? "," : "") << kKeys[k];
    out << "\n";
    for (const ReportGroup& g : groups) {
        out << CsvField(g.name);
        for (const std::string& figure : Figures(g)) out << "," << figure;
        out << "\n";
    }
}

void ReportWriter::WriteJson(std::ostream& out, const std::vector<ReportGroup>& groups)
{
    out << "[";
    for (size_t i = 0; i < groups.size(); ++i) {
        out << (i ? ",\n " : "\n ") << "{\"" << kKeys[0] << "\": " << JsonString(groups[i].name);
        const std::vector<std::string> figures = Figures(groups[i]);
        for (size_t k = 0; k < figures.size(); ++k)
            out << ", \"" << kKeys[k + 1] << "\": " << (figures[k].empty() ? "null" : figures[k]);
        out << "}";
    }
    out << (groups.empty() ? "]\n" : "\n]\n");
}

void ReportWriter::WriteTable(std::ostream& out, const std::vector<ReportGroup>& groups, ReportOptions::GroupBy groupBy,
                              const std::string& period)
{
    std::string heading = GroupByName(groupBy);
    heading[0] = static_cast<char>(heading[0] - 'a' + 'A');
    const std::vector<std::string> titles = {heading,         "Jobs",           "Pages",         "Cheque jobs",
                                             "Avg savings %", "Black before %", "Black after %", "Toner saved"};

    ReportGroup total;
    total.name = "Total";
    double savingsSum = 0, beforeSum = 0, afterSum = 0;
    std::vector<std::vector<std::string>> rows;
    const auto row = [](const ReportGroup& g) {
        const bool detailed = g.detailedPages > 0;
        return std::vector<std::string>{g.name.empty() ? "(none)" : g.name,
                                        std::to_string(g.jobs),
                                        std::to_string(g.pages),
                                        std::to_string(g.chequeJobs),
                                        Fixed(g.averageSavings, true),
                                        detailed ? Fixed(g.blackBefore, true) : "-",
                                        detailed ? Fixed(g.blackAfter, true) : "-",
                                        Fixed(g.Saved(), false) + (g.estimatedSaved > 0 ? "*" : " ")};
    };
    for (const ReportGroup& g : groups) {
        rows.push_back(row(g));
        total.jobs += g.jobs;
        total.pages += g.pages;
        total.chequeJobs += g.chequeJobs;
        total.detailedPages += g.detailedPages;
        total.measuredSaved += g.measuredSaved;
        total.estimatedSaved += g.estimatedSaved;
        savingsSum += g.averageSavings * static_cast<double>(g.jobs);
        beforeSum += g.blackBefore * static_cast<double>(g.detailedPages);
        afterSum += g.blackAfter * static_cast<double>(g.detailedPages);
    }
    if (total.jobs > 0) total.averageSavings = savingsSum / static_cast<double>(total.jobs);
    if (total.detailedPages > 0) {
        total.blackBefore = beforeSum / static_cast<double>(total.detailedPages);
        total.blackAfter = afterSum / static_cast<double>(total.detailedPages);
    }

    std::vector<size_t> widths;
    for (const std::string& t : titles) widths.push_back(Width(t));
    const std::vector<std::string> totalRow = row(total);
    for (const auto& r : rows)
        for (size_t c = 0; c < r.size(); ++c) widths[c] = std::max(widths[c], Width(r[c]));
    for (size_t c = 0; c < totalRow.size(); ++c) widths[c] = std::max(widths[c], Width(totalRow[c]));

    const auto line = [&](const std::vector<std::string>& cells) {
        for (size_t c = 0; c < cells.size(); ++c) out << (c ? "  " : "") << Pad(cells[c], widths[c], c == 0);
        out << "\n";
    };
    out << "Pages printed and toner saved by " << GroupByName(groupBy) << ", " << period << "\n\n";
    line(titles);
    size_t ruleWidth = 2 * (widths.size() - 1);
    for (size_t w : widths) ruleWidth += w;
    out << std::string(ruleWidth, '-') << "\n";
    for (const auto& r : rows) line(r);
    out << std::string(ruleWidth, '-') << "\n";
    line(totalRow);
    out << "\nToner saved is counted in ISO/IEC 19752 reference pages (one page at 5 % coverage).\n"
           "Black coverage is averaged over the pages measured while printing.\n";
    if (total.estimatedSaved > 0)
        out << "* includes estimates: pages printed without measurement count as reference pages\n"
               "  thinned by the job's savings percentage.\n";
}
