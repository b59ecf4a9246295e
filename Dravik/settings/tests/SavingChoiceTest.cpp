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

TEST(SavingChoice, OneRuleJobThenUserThenQueueThenNone)
{
    EXPECT_EQ(Decide("75", "", 30, "20").percentage, 75);
    EXPECT_EQ(Decide("75", "", 30, "20").source, Source::Job);
    EXPECT_EQ(Decide("Off", "", 30, "20").percentage, 0);
    EXPECT_EQ(Decide("User", "", 30, "20").percentage, 30);
    // A user who stored 0 chose no saving: the queue's default does not override it.
    EXPECT_EQ(Decide("", "", 0, "20").percentage, 0);
    EXPECT_EQ(Decide("", "", std::nullopt, "20").percentage, 20);
    EXPECT_EQ(Decide("", "", std::nullopt, "20").source, Source::Queue);
    EXPECT_EQ(Decide("", "", std::nullopt, "").source, Source::None);
}

TEST(SavingChoice, PrintQualityActsAsTheJobsOption)
{
    EXPECT_EQ(Decide("", "Draft", 10, "").percentage, 50);
    EXPECT_EQ(Decide("", "Draft", 10, "", {0, 62}).percentage, 65);  // the draft saving in whole steps
    EXPECT_EQ(Decide("", "High", 40, "30").percentage, 0);
    EXPECT_EQ(Decide("", "Normal", std::nullopt, "30").percentage, 30);
    // An explicit TonerSaving says more than the quality.
    EXPECT_EQ(Decide("15", "Draft", 40, "").percentage, 15);
}

TEST(SavingChoice, DialogsSendingTheQueuesDefaultDoNotOverrideTheUser)
{
    EXPECT_EQ(Decide("30", "", 60, "30").percentage, 60);
    EXPECT_EQ(Decide("30", "", std::nullopt, "30").percentage, 30);
    EXPECT_EQ(Decide("35", "", 60, "30").percentage, 35);
}

TEST(SavingChoice, MachineMinimumHoldsAgainstEverySource)
{
    const SavingChoice::Machine floor{20, 50};
    for (const auto& choice : {Decide("Off", "", 50, "", floor), Decide("5", "", 50, "", floor),
                               Decide("", "High", 50, "", floor), Decide("", "", 10, "", floor),
                               Decide("", "", std::nullopt, "Off", floor), Decide("", "", std::nullopt, "", floor)}) {
        EXPECT_EQ(choice.percentage, 20);
        EXPECT_TRUE(choice.raisedToMinimum);
    }
    EXPECT_FALSE(Decide("40", "", 50, "", floor).raisedToMinimum);
    // A minimum between steps rounds up; beyond the masks it is their maximum.
    EXPECT_EQ(Decide("", "", 0, "", {12, 50}).percentage, 15);
    EXPECT_EQ(Decide("", "", 0, "", {400, 50}).percentage, 75);
    EXPECT_EQ(Decide("", "", 0, "", {-5, 50}).percentage, 0);
}

TEST(SavingChoice, MalformedAsksAreNoAsk)
{
    for (const char* bad : {"80", "7", "-5", "0", "050", "5 ", "off", "1e1", "99999999999999999999"})
        EXPECT_EQ(Decide(bad, "", 25, "").source, Source::User) << bad;
    EXPECT_EQ(Decide("", "", std::nullopt, "bogus").source, Source::None);
    // A stored user setting out of range reads as the filter applies it.
    EXPECT_EQ(Decide("", "", 101, "").percentage, 75);
    EXPECT_EQ(Decide("", "", -1, "").percentage, 0);
}
