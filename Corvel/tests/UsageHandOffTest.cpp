#include <gtest/gtest.h>

#include "UsageHandOff.h"

TEST(UsageHandOff, AWholeHandOffReadsBackAsWritten)
{
    JobFigures job;
    job.printerName = "Office 2nd floor%\x7f";
    job.pages = 3;
    job.savingsPercentage = 30;
    job.checkDocument = true;
    job.copies = 2;
    const std::string text = UsageHandOff::JobLine(job) + UsageHandOff::PageLine(1, {{1, 2, 3, 4, 5, 6, 7, 8}}) +
                             UsageHandOff::PageLine(3, {{0, 0, 0, 0, 0, 0, 10000, 5000}}) +
                             std::string(UsageHandOff::kEndLine);
    UsageHandOff::Record record;
    std::string fault;
    ASSERT_TRUE(UsageHandOff::Parse(text, record, fault)) << fault;
    EXPECT_EQ(record.job.printerName, job.printerName);
    ASSERT_EQ(record.pages.size(), 2u);
    EXPECT_EQ(record.pages[1].second.values[7], 5000);
}

TEST(UsageHandOff, AnythingButAWholeTruthfulHandOffRecordsNothing)
{
    const std::string job = "job 2 30 0 PDF Office 1\n";
    const std::string page = "page 1 0 0 0 0 0 0 10 5\n";
    const char* const bad[] = {
        "",                                                         // nothing came
        "job 2 30 0 PDF Office 1\n",                                // no end: the processor stopped halfway
        "end\n",                                                    // no job
        "job 2 101 0 PDF Office 1\nend\n",                          // a figure out of range
        "job 2 30 0 HTML Office 1\nend\n",                          // unknown output
        "job 2 30 0 PDF Off ice 1\nend\n",                          // a word too many
        "job 2 30 0 PDF Off%00ice 1\nend\n",                        // a NUL in a name
        "job 2 30 0 PDF Office 1\npage 3 0 0 0 0 0 0 10 5\nend\n",  // a page beyond the job
        "job 2 30 0 PDF Office 1\njob 2 30 0 PDF Office 1\nend\n",  // a second job
        "job 99999999999 30 0 PDF Office 1\nend\n",                 // beyond 32 bits
    };
    for (const char* text : bad) {
        UsageHandOff::Record record;
        std::string fault;
        EXPECT_FALSE(UsageHandOff::Parse(text, record, fault)) << text;
    }
    UsageHandOff::Record record;
    std::string fault;
    EXPECT_FALSE(UsageHandOff::Parse(job + page + page + "end\n", record, fault)) << "a page given twice";
    EXPECT_TRUE(UsageHandOff::Parse(job + page + "end\n", record, fault)) << fault;
    EXPECT_FALSE(UsageHandOff::Parse(std::string(UsageHandOff::kMaxSize + 1, 'x'), record, fault));
}
