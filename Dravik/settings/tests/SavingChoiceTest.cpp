#include <gtest/gtest.h>

#include "SavingChoice.h"

namespace {
using Source = SavingChoice::Source;
const SavingChoice::Machine kOpen{0, 50};

SavingChoice Decide(const std::string& job, const std::string& quality, std::optional<int32_t> user,
                    const std::string& queue, SavingChoice::Machine machine = kOpen)
{
    return SavingChoice::Decide({job, quality, queue}, user, machine);
}
}  // namespace

// The job's ask, then its print quality, beats the user's stored choice, which
// beats the queue's default; a dialog that sends the queue's own default asks nothing.
TEST(SavingChoice, OneRuleJobThenQualityThenUserThenQueue)
{
    struct Case {
        const char* job;
        const char* quality;
        std::optional<int32_t> user;
        const char* queue;
        int32_t percentage;
        Source source;
    };
    const Case cases[] = {
        {"Off", "", 30, "20", 0, Source::Job},
        {"User", "", 30, "20", 30, Source::User},
        {"", "", 0, "20", 0, Source::User},  // a stored 0 is the user's choice of no saving
        {"", "", std::nullopt, "20", 20, Source::Queue},
        {"", "", std::nullopt, "", 0, Source::None},
        {"", "Draft", 10, "", 50, Source::Quality},
        {"", "Normal", std::nullopt, "30", 30, Source::Queue},
        {"15", "Draft", 40, "", 15, Source::Job},
        {"30", "", 60, "30", 60, Source::User},  // the queue's own default, sent by the dialog
    };
    for (const Case& c : cases) {
        const SavingChoice choice = Decide(c.job, c.quality, c.user, c.queue);
        EXPECT_EQ(choice.percentage, c.percentage) << c.job << "/" << c.quality << "/" << c.queue;
        EXPECT_EQ(choice.source, c.source) << c.job << "/" << c.quality << "/" << c.queue;
    }
    EXPECT_EQ(Decide("", "Draft", 10, "", {0, 62}).percentage, 65);  // the draft saving in whole steps
}

TEST(SavingChoice, MachineMinimumHoldsAgainstEverySource)
{
    const SavingChoice::Machine floor{20, 50};
    for (const auto& choice : {Decide("Off", "", 50, "", floor), Decide("", "High", 50, "", floor),
                               Decide("", "", 10, "", floor), Decide("", "", std::nullopt, "Off", floor)}) {
        EXPECT_EQ(choice.percentage, 20);
        EXPECT_TRUE(choice.raisedToMinimum);
    }
    EXPECT_FALSE(Decide("40", "", 50, "", floor).raisedToMinimum);
    EXPECT_EQ(Decide("", "", 0, "", {400, 50}).percentage, 75);  // beyond the masks: their maximum
}

TEST(SavingChoice, MalformedAsksAreNoAsk)
{
    for (const char* bad : {"80", "-5", "5 ", "99999999999999999999"})
        EXPECT_EQ(Decide(bad, "", 25, "").source, Source::User) << bad;
    EXPECT_EQ(Decide("", "", std::nullopt, "bogus").source, Source::None);
    // A stored user setting out of range reads as the filter applies it.
    EXPECT_EQ(Decide("", "", 101, "").percentage, 75);
    EXPECT_EQ(Decide("", "", -1, "").percentage, 0);
}
