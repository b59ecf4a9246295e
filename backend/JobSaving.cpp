#include "JobSaving.h"

#include <algorithm>
#include <cctype>
#include <fstream>

namespace {
// A choice passed on must be a short word: the options and the PPD are the
// scheduler's, but a client wrote the options.
bool IsChoice(const std::string& value)
{
    return !value.empty() && value.size() <= 8 &&
           std::all_of(value.begin(), value.end(), [](unsigned char c) { return std::isalnum(c) != 0; });
}

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}
}  // namespace

std::string JobSaving::Quality(const std::vector<PrintOption>& options)
{
    std::string quality;
    for (const auto& [name, value] : options) {
        const std::string v = Lower(value);
        if (name == "cupsPrintQuality" || name == "print-quality") {
            if (v == "draft" || v == "3") quality = "Draft";
            if (v == "normal" || v == "4") quality = "Normal";
            if (v == "high" || v == "5") quality = "High";
        }
    }
    return quality;
}

std::string JobSaving::ReadPpd(const std::string& path)
{
    if (path.empty()) return {};
    std::ifstream in(path, std::ios::binary);
    std::string text(kPpdLimit, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<size_t>(in.gcount()));
    return text;
}

std::string JobSaving::PpdDefault(const std::string& ppdText, const std::string& option)
{
    const std::string keyword = "*Default" + option + ":";
    size_t at = 0;
    while ((at = ppdText.find(keyword, at)) != std::string::npos) {
        if (at == 0 || ppdText[at - 1] == '\n') {
            size_t begin = at + keyword.size();
            while (begin < ppdText.size() && (ppdText[begin] == ' ' || ppdText[begin] == '\t')) ++begin;
            size_t end = begin;
            while (end < ppdText.size() && !std::isspace(static_cast<unsigned char>(ppdText[end]))) ++end;
            return ppdText.substr(begin, end - begin);
        }
        at += keyword.size();
    }
    return {};
}

std::vector<std::string> JobSaving::Variables(const std::vector<PrintOption>& options, const std::string& ppdText)
{
    std::vector<std::string> variables;
    std::string asked;
    for (const auto& [name, value] : options)
        if (name == "TonerSaving") asked = value;
    if (IsChoice(asked)) variables.push_back("PARSIMO_TONER_SAVING=" + asked);
    const std::string quality = Quality(options);
    if (!quality.empty()) variables.push_back("PARSIMO_PRINT_QUALITY=" + quality);
    const std::string queueDefault = PpdDefault(ppdText, "TonerSaving");
    if (IsChoice(queueDefault)) variables.push_back("PARSIMO_QUEUE_SAVING=" + queueDefault);
    return variables;
}
