#include <gtest/gtest.h>

#include "AppEnvironment.h"
#include "FixedText.h"
#include "PrinterChoices.h"

namespace {
std::vector<std::string> Names(const PrinterChoices& choices)
{
    std::vector<std::string> names;
    for (const PrinterEntry& p : choices.GetPrinters()) names.push_back(p.name);
    return names;
}
}  // namespace

TEST(PrinterChoices, LeaveOutTheOwnQueueAndPreselectTheTargetThenTheDefault)
{
    AppEnvironment env{AppEnvironment::DefaultsOnly{}};
    CopyField(env.PrinterName, "Thin");
    const std::vector<PrinterEntry> listed = {{"Toner", false, "PARSIMO:/"},  // the backend, whatever its name
                                              {"thin", true, "ipp://x/"},     // the virtual printer
                                              {"parsimo", false, ""},         // the product's name
                                              {"Laser", false, "ipp://laser/"},
                                              {"Office", true, "socket://office"}};
    const PrinterChoices choices(env, listed);
    EXPECT_EQ(Names(choices), (std::vector<std::string>{"Laser", "Office"}));
    EXPECT_EQ(choices.Preselected("laser"), 0);
    EXPECT_EQ(choices.Preselected("Gone"), 1);  // the system's default
    EXPECT_EQ(PrinterChoices(env, {}).Preselected("B"), -1);
}
