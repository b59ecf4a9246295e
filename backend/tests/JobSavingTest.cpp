#include <gtest/gtest.h>

#include "JobSaving.h"
#include "ScratchFolder.h"

namespace {
const char* kPpd = "*PPD-Adobe: \"4.3\"\n*% *DefaultTonerSaving: 75 in a comment\n"
                   "*DefaultTonerSaving: 30\n*TonerSaving 30/30 %: \"\"\n*DefaultcupsPrintQuality: Normal\n";
}

TEST(JobSaving, PassesTheJobsAskAndTheQueuesDefault)
{
    EXPECT_EQ(JobSaving::Variables({{"TonerSaving", "75"}, {"media", "A4"}}, kPpd),
              (std::vector<std::string>{"PARSIMO_TONER_SAVING=75", "PARSIMO_QUEUE_SAVING=30"}));
    EXPECT_EQ(JobSaving::Variables({{"print-quality", "3"}, {"cupsPrintQuality", "Draft"}}, ""),
              (std::vector<std::string>{"PARSIMO_PRINT_QUALITY=Draft"}));
    EXPECT_TRUE(JobSaving::Variables({}, "").empty());
}

TEST(JobSaving, QualityByEitherSpelling)
{
    EXPECT_EQ(JobSaving::Quality({{"print-quality", "5"}}), "High");
    EXPECT_EQ(JobSaving::Quality({{"print-quality", "draft"}}), "Draft");
    EXPECT_EQ(JobSaving::Quality({{"cupsPrintQuality", "Normal"}}), "Normal");
    EXPECT_EQ(JobSaving::Quality({{"print-quality", "9"}}), "");
}

TEST(JobSaving, NothingOddReachesTheJobProcessor)
{
    // A client's option is passed on only as a short word: no line breaks,
    // no second variable smuggled in.
    for (const char* bad : {"75\nPARSIMO_JOB_ID=1", "", "a b", "123456789", "7;5"})
        EXPECT_TRUE(JobSaving::Variables({{"TonerSaving", bad}}, "").empty()) << bad;
    EXPECT_EQ(JobSaving::PpdDefault("*DefaultTonerSavingX: 5\n", "TonerSaving"), "");
    EXPECT_EQ(JobSaving::PpdDefault("*DefaultTonerSaving:\t45\r\n", "TonerSaving"), "45");
}

TEST(JobSaving, ReadsThePpdFile)
{
    ScratchFolder folder;
    const std::string path = folder.Write("Parsimo.ppd", kPpd);
    EXPECT_EQ(JobSaving::PpdDefault(JobSaving::ReadPpd(path), "TonerSaving"), "30");
    EXPECT_EQ(JobSaving::ReadPpd(folder.Path("missing.ppd")), "");
    EXPECT_EQ(JobSaving::ReadPpd(""), "");
}
