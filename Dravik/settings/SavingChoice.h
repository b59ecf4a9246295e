#pragma once
#include <cstdint>
#include <optional>
#include <string>

// Which saving one job gets. One rule: the job's own option (TonerSaving,
// else the print quality it asked for), then the user's own setting, then the
// queue's default, then none; never below the machine's minimum.
class SavingChoice {
public:
    // What the job and its queue asked, as the backend passed it on.
    struct Request {
        std::string tonerSaving;   // "User", "Off" or a step from 5 to 75; anything else asks nothing
        std::string printQuality;  // "Draft", "Normal" or "High"
        std::string queueDefault;  // the queue's TonerSaving default, same spellings
    };
    // The machine's settings that bound every job.
    struct Machine {
        int32_t minimum = 0;  // no job or user goes below it
        int32_t draft = 50;   // what a draft-quality job saves
    };
    enum class Source { Job, Quality, User, Queue, None };

    // userSetting: the user's stored SavingsPercentage, or nothing when they never chose one.
    static SavingChoice Decide(const Request& request, std::optional<int32_t> userSetting, const Machine& machine);
    // A step the filter applies: "Off" is 0, "5" to "75" in steps of 5; else nothing.
    static std::optional<int32_t> ParseLevel(const std::string& text);
    // The nearest step at or above a percentage, within 0..75.
    static int32_t Step(int32_t percentage);

    // For the job's settings block: the percentage and where it came from.
    std::string Describe() const;

    int32_t percentage = 0;
    Source source = Source::None;
    bool raisedToMinimum = false;
};
