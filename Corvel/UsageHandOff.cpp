#include "UsageHandOff.h"

#include <charconv>

namespace {
constexpr size_t kMaxText = 260;
constexpr int32_t kMaxCoverage = 10000;
constexpr const char* kFormats[] = {"", "PDF", "IMAGE"};

bool Plain(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '_' ||
           c == '-';
}

std::string Encode(std::string_view text)
{
    if (text.empty()) return "-";
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : text.substr(0, kMaxText)) {
        if (Plain(c) && !(out.empty() && c == '-')) {
            out.push_back(c);
        } else {
            const auto byte = static_cast<unsigned char>(c);
            out += {'%', kHex[byte >> 4], kHex[byte & 15]};
        }
    }
    return out;
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool Decode(std::string_view word, std::string& text)
{
    text.clear();
    if (word == "-") return true;
    for (size_t i = 0; i < word.size(); ++i) {
        if (word[i] != '%') {
            if (!Plain(word[i])) return false;
            text.push_back(word[i]);
            continue;
        }
        if (i + 2 >= word.size()) return false;
        const int high = HexDigit(word[i + 1]), low = HexDigit(word[i + 2]);
        if (high < 0 || low < 0) return false;
        text.push_back(static_cast<char>(high * 16 + low));
        i += 2;
    }
    return !text.empty() && text.size() <= kMaxText && text.find('\0') == std::string::npos;
}

bool Number(std::string_view word, int32_t low, int32_t high, int32_t& value)
{
    const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
    return error == std::errc() && end == word.data() + word.size() && value >= low && value <= high;
}

std::vector<std::string_view> Words(std::string_view line)
{
    std::vector<std::string_view> words;
    size_t start = 0;
    while (start <= line.size()) {
        const size_t space = std::min(line.find(' ', start), line.size());
        words.push_back(line.substr(start, space - start));
        start = space + 1;
    }
    return words;
}
}  // namespace

std::string UsageHandOff::JobLine(const JobFigures& job)
{
    return "job " + std::to_string(job.pages) + ' ' + std::to_string(job.savingsPercentage) + ' ' +
           (job.checkDocument ? '1' : '0') + ' ' + Encode(job.outputFormat) + ' ' + Encode(job.printerName) + ' ' +
           std::to_string(job.copies) + '\n';
}

std::string UsageHandOff::PageLine(int32_t page, const PageFigures& figures)
{
    std::string line = "page " + std::to_string(page);
    for (const int32_t value : figures.values) line += ' ' + std::to_string(value);
    return line + '\n';
}

bool UsageHandOff::Parse(std::string_view text, Record& record, std::string& fault)
{
    record = Record();
    if (text.size() > kMaxSize) return fault = "the figures are too long", false;
    bool haveJob = false, ended = false;
    int32_t lastPage = 0;
    size_t start = 0, lineNumber = 0;
    while (start < text.size()) {
        const size_t newline = text.find('\n', start);
        if (newline == std::string_view::npos) return fault = "the figures break off", false;
        const std::string_view line = text.substr(start, newline - start);
        start = newline + 1;
        ++lineNumber;
        const auto bad = [&](const char* what) {
            fault = std::string(what) + " on line " + std::to_string(lineNumber);
            return false;
        };
        if (ended) return bad("text after the end");
        const std::vector<std::string_view> words = Words(line);
        if (words[0] == "end" && words.size() == 1) {
            if (!haveJob) return bad("an end without a job");
            ended = true;
        } else if (words[0] == "job" && words.size() == 7 && !haveJob) {
            JobFigures& job = record.job;
            int32_t cheque = 0;
            if (!Number(words[1], 1, kMaxPages, job.pages) || !Number(words[2], 0, 100, job.savingsPercentage) ||
                !Number(words[3], 0, 1, cheque) || !Decode(words[4], job.outputFormat) ||
                !Decode(words[5], job.printerName) || !Number(words[6], 1, kMaxCopies, job.copies))
                return bad("a malformed job");
            bool known = false;
            for (const char* format : kFormats) known = known || job.outputFormat == format;
            if (!known) return bad("an unknown output format");
            job.checkDocument = cheque != 0;
            haveJob = true;
        } else if (words[0] == "page" && words.size() == 2 + PageFigures::kCount && haveJob) {
            int32_t page = 0;
            PageFigures figures;
            // Pages come in order, each once, and no more than the job printed.
            if (!Number(words[1], lastPage + 1, record.job.pages, page)) return bad("a page out of order");
            for (int i = 0; i < PageFigures::kCount; ++i)
                if (!Number(words[2 + i], 0, kMaxCoverage, figures.values[i])) return bad("a figure out of range");
            record.pages.emplace_back(page, figures);
            lastPage = page;
        } else {
            return bad("an unknown line");
        }
    }
    if (!ended) return fault = "the figures break off", false;
    return true;
}
