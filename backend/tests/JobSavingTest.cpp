#include <gtest/gtest.h>
#include <sys/stat.h>

#include "JobSaving.h"
#include "PpdFile.h"
#include "ScratchFolder.h"

// The job's ask and the queue's default are passed on; a client's option only
// as a short word, so that no line break smuggles in a second variable.
TEST(JobSaving, PassesTheJobsAskAndTheQueuesDefaultAndNothingOdd)
{
    EXPECT_EQ(JobSaving::Variables({{"TonerSaving", "75"}, {"media", "A4"}}, "30"),
              (std::vector<std::string>{"PARSIMO_TONER_SAVING=75", "PARSIMO_QUEUE_SAVING=30"}));
    EXPECT_EQ(JobSaving::Variables({{"print-quality", "3"}, {"cupsPrintQuality", "Draft"}}, ""),
              (std::vector<std::string>{"PARSIMO_PRINT_QUALITY=Draft"}));
    for (const char* bad : {"75\nPARSIMO_JOB_ID=1", "a b", "123456789"})
        EXPECT_TRUE(JobSaving::Variables({{"TonerSaving", bad}}, "").empty()) << bad;
    EXPECT_TRUE(JobSaving::Variables({}, "3 0").empty());
}

// The queue's default comes from its PPD as the scheduler keeps it; comments
// and longer keywords are not it, and a pipe in its place is not waited on.
TEST(JobSaving, TheQueuesDefaultFromItsPpd)
{
    ScratchFolder folder;
    PpdFile ppd;
    ppd.Load(folder.Write("Parsimo.ppd", "*PPD-Adobe: \"4.3\"\n*% *DefaultTonerSaving: 75 in a comment\n"
                                         "*DefaultTonerSavingX: 5\n*DefaultTonerSaving:\t45\r\n"));
    EXPECT_EQ(ppd.GetDefault("TonerSaving"), "45");
    ASSERT_EQ(mkfifo(folder.Path("pipe.ppd").c_str(), 0600), 0);
    EXPECT_FALSE(ppd.Load(folder.Path("pipe.ppd")));
    EXPECT_EQ(ppd.GetDefault("TonerSaving"), "");
}
