#include "JobSaving.h"

#include <algorithm>
#include <cctype>

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

std::vector<std::string> JobSaving::Variables(const std::vector<PrintOption>& options, const std::string& queueDefault)
{
    std::vector<std::string> variables;
    std::string asked;
    for (const auto& [name, value] : options)
        if (name == "TonerSaving") asked = value;
    if (IsChoice(asked)) variables.push_back("PARSIMO_TONER_SAVING=" + asked);
    const std::string quality = Quality(options);
    if (!quality.empty()) variables.push_back("PARSIMO_PRINT_QUALITY=" + quality);
    if (IsChoice(queueDefault)) variables.push_back("PARSIMO_QUEUE_SAVING=" + queueDefault);
    return variables;
}
