#include "SavingChoice.h"

#include <algorithm>

#include "SavingsMasks.h"

std::optional<int32_t> SavingChoice::ParseLevel(const std::string& text)
{
    if (text == "Off") return 0;
    if (text.empty() || text.size() > 2 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    const int32_t value = std::stoi(text);
    if (value < SavingsMasks::kStep || value > SavingsMasks::kMaximum || value % SavingsMasks::kStep != 0)
        return std::nullopt;
    return value;
}

int32_t SavingChoice::Step(int32_t percentage)
{
    const int32_t bounded = std::clamp(percentage, 0, SavingsMasks::kMaximum);
    return (bounded + SavingsMasks::kStep - 1) / SavingsMasks::kStep * SavingsMasks::kStep;
}

SavingChoice SavingChoice::Decide(const Request& request, std::optional<int32_t> userSetting, const Machine& machine)
{
    SavingChoice choice;
    const std::optional<int32_t> asked = ParseLevel(request.tonerSaving);
    const std::optional<int32_t> queue = ParseLevel(request.queueDefault);
    // Print dialogs send every option as shown, so the queue's default comes
    // back as the job's: only a different choice is the job's own.
    if (asked && !(queue && request.tonerSaving == request.queueDefault)) {
        choice.percentage = *asked;
        choice.source = Source::Job;
    } else if (request.printQuality == "Draft" || request.printQuality == "High") {
        choice.percentage = request.printQuality == "Draft" ? Step(machine.draft) : 0;
        choice.source = Source::Quality;
    } else if (userSetting) {
        // Stored values are read as the filter applies them.
        const int32_t level = SavingsMasks::Level(*userSetting);
        choice.percentage = level < 0 ? 0 : SavingsMasks::Percentage(level);
        choice.source = Source::User;
    } else if (queue) {
        choice.percentage = *queue;
        choice.source = Source::Queue;
    }
    const int32_t minimum = Step(machine.minimum);
    if (choice.percentage < minimum) {
        choice.percentage = minimum;
        choice.raisedToMinimum = true;
    }
    return choice;
}

std::string SavingChoice::Describe() const
{
    std::string text = std::to_string(percentage) + " (";
    switch (source) {
    case Source::Job: text += "the job's TonerSaving"; break;
    case Source::Quality: text += "the job's print quality"; break;
    case Source::User: text += "the user's SavingsPercentage"; break;
    case Source::Queue: text += "the queue's default"; break;
    case Source::None: text += "nothing asked"; break;
    }
    return text + (raisedToMinimum ? ", raised to the machine's MinimumSaving)" : ")");
}
