#include "ReportWriter.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <ostream>
#include <string_view>

namespace {
constexpr const char* kKeys[] = {"group",
                                 "jobs",
                                 "pages",
                                 "sheet_sides",
                                 "cheque_jobs",
                                 "avg_savings_percent",
                                 "detailed_pages",
                                 "avg_black_before_percent",
                                 "avg_black_after_percent",
                                 "toner_saved_ref_pages",
                                 "toner_saved_estimated_ref_pages"};

// Empty for a figure that is no number (a crafted file can make sums infinite).
std::string Fixed(double value, bool oneDecimal)
{
    if (!std::isfinite(value)) return "";
    const int decimals = oneDecimal ? 1 : 2;
    std::string text(static_cast<size_t>(std::snprintf(nullptr, 0, "%.*f", decimals, value)), '\0');
    std::snprintf(text.data(), text.size() + 1, "%.*f", decimals, value);
    return text;
}

// A count as the table shows it: one that reached the limit of the sums is marked.
std::string Count(int64_t value)
{
    return std::to_string(value) + (value == INT64_MAX || value == INT64_MIN ? "+" : "");
}

int64_t SaturatedSum(int64_t a, int64_t b)
{
    int64_t sum = 0;
    if (!__builtin_add_overflow(a, b, &sum)) return sum;
    return b > 0 ? INT64_MAX : INT64_MIN;
}

// Every figure of a group after its name, as text; empty where there is none.
std::vector<std::string> Figures(const ReportGroup& g)
{
    const bool detailed = g.detailedPages > 0;
    return {std::to_string(g.jobs),
            std::to_string(g.pages),
            std::to_string(g.sheetSides),
            std::to_string(g.chequeJobs),
            Fixed(g.averageSavings, true),
            std::to_string(g.detailedPages),
            detailed ? Fixed(g.blackBefore, false) : "",
            detailed ? Fixed(g.blackAfter, false) : "",
            Fixed(g.Saved(), false),
            Fixed(g.estimatedSaved, false)};
}

// Length of a valid UTF-8 sequence starting at text[i], 0 when there is none
// (overlong forms, surrogates and code points past U+10FFFF are not valid).
size_t Utf8Length(const std::string& text, size_t i)
{
    const auto c = static_cast<unsigned char>(text[i]);
    const size_t length = c < 0x80 ? 1 : c < 0xC2 ? 0 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : c < 0xF5 ? 4 : 0;
    if (length == 0 || i + length > text.size()) return 0;
    for (size_t k = 1; k < length; ++k)
        if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return 0;
    const auto second = static_cast<unsigned char>(length > 1 ? text[i + 1] : 0);
    if ((c == 0xE0 && second < 0xA0) || (c == 0xED && second >= 0xA0) || (c == 0xF0 && second < 0x90) ||
        (c == 0xF4 && second >= 0x90))
        return 0;
    return length;
}

// The code point of a valid sequence of `length` bytes at text[i].
uint32_t CodePoint(const std::string& text, size_t i, size_t length)
{
    constexpr unsigned char kLeadBits[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
    uint32_t point = static_cast<unsigned char>(text[i]) & kLeadBits[length];
    for (size_t k = 1; k < length; ++k) point = (point << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
    return point;
}

// Characters a terminal acts on rather than shows: controls (C0, DEL, C1)
// and the marks that reorder the text around them.
bool IsControl(uint32_t point)
{
    return point < 0x20 || (point >= 0x7F && point <= 0x9F) || (point >= 0x202A && point <= 0x202E) ||
           (point >= 0x2066 && point <= 0x2069);
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
        if (const uint32_t point = CodePoint(text, i, length); IsControl(point)) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", point);
            out += escape;
        } else {
            if (c == '"' || c == '\\') out += '\\';
            out.append(text, i, length);
        }
        i += length;
    }
    return out + "\"";
}

std::string ReportWriter::TerminalText(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size();) {
        const size_t length = Utf8Length(text, i);
        if (length != 0 && !IsControl(CodePoint(text, i, length))) {
            out.append(text, i, length);
            i += length;
            continue;
        }
        // The bytes of a control character, or one byte that is not UTF-8.
        for (const size_t end = i + std::max<size_t>(length, 1); i < end; ++i) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02x", static_cast<unsigned char>(text[i]));
            out += escape;
        }
    }
    return out;
}

std::string ReportWriter::CsvField(const std::string& text)
{
    std::string field = TerminalText(text);
    // A spreadsheet would run a field that starts like a formula.
    if (!field.empty() && std::string_view("=+-@\t\r").find(field[0]) != std::string_view::npos)
        field.insert(0, 1, '\'');
    if (field.find_first_of(",\"\r\n") == std::string::npos) return field;
    std::string out = "\"";
    for (char c : field) {
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
    const std::vector<std::string> titles = {heading,          "Jobs",          "Pages",
                                             "Sheet sides",    "Cheque jobs",   "Avg savings %",
                                             "Black before %", "Black after %", "Toner saved"};

    ReportGroup total;
    total.name = "Total";
    double savingsSum = 0, beforeSum = 0, afterSum = 0;
    std::vector<std::vector<std::string>> rows;
    const auto row = [](const ReportGroup& g) {
        const bool detailed = g.detailedPages > 0;
        const auto shown = [](const std::string& figure) { return figure.empty() ? std::string("-") : figure; };
        return std::vector<std::string>{g.name.empty() ? "(none)" : TerminalText(g.name),
                                        Count(g.jobs),
                                        Count(g.pages),
                                        Count(g.sheetSides),
                                        Count(g.chequeJobs),
                                        shown(Fixed(g.averageSavings, true)),
                                        detailed ? shown(Fixed(g.blackBefore, true)) : "-",
                                        detailed ? shown(Fixed(g.blackAfter, true)) : "-",
                                        shown(Fixed(g.Saved(), false)) + (g.estimatedSaved > 0 ? "*" : " ")};
    };
    for (const ReportGroup& g : groups) {
        rows.push_back(row(g));
        total.jobs = SaturatedSum(total.jobs, g.jobs);
        total.pages = SaturatedSum(total.pages, g.pages);
        total.sheetSides = SaturatedSum(total.sheetSides, g.sheetSides);
        total.chequeJobs = SaturatedSum(total.chequeJobs, g.chequeJobs);
        total.detailedPages = SaturatedSum(total.detailedPages, g.detailedPages);
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
