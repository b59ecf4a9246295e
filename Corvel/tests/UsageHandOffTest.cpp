#include <gtest/gtest.h>

#include "UsageHandOff.h"

TEST(UsageHandOff, AWholeHandOffReadsBackAsWritten)
{
    JobFigures job;
    job.printerName = "Office 2nd floor%\x7f";
    job.outputFormat = "";
    job.pages = 3;
    job.savingsPercentage = 30;
    job.checkDocument = true;
    const std::string text = UsageHandOff::JobLine(job) + UsageHandOff::PageLine(1, {{1, 2, 3, 4, 5, 6, 7, 8}}) +
                             UsageHandOff::PageLine(3, {{0, 0, 0, 0, 0, 0, 10000, 5000}}) +
                             std::string(UsageHandOff::kEndLine);
    UsageHandOff::Record record;
    std::string fault;
    ASSERT_TRUE(UsageHandOff::Parse(text, record, fault)) << fault;
    EXPECT_EQ(record.job.printerName, job.printerName);
    EXPECT_EQ(record.job.outputFormat, "");
    EXPECT_EQ(record.job.pages, 3);
    EXPECT_EQ(record.job.savingsPercentage, 30);
    EXPECT_TRUE(record.job.checkDocument);
    EXPECT_TRUE(record.job.userName.empty());
    ASSERT_EQ(record.pages.size(), 2u);
    EXPECT_EQ(record.pages[1].first, 3);
    EXPECT_EQ(record.pages[1].second.values[7], 5000);
}

TEST(UsageHandOff, AnythingButAWholeTruthfulHandOffRecordsNothing)
{
    const std::string job = "job 2 30 0 PDF Office\n";
    const std::string page = "page 1 0 0 0 0 0 0 10 5\n";
    const char* const bad[] = {
        "",                                                           // nothing came
        "job 2 30 0 PDF Office\n",                                    // no end: the processor stopped halfway
        "job 2 30 0 PDF Office\nend",                                 // a line cut short
        "end\n",                                                      // no job
        "job 0 30 0 PDF Office\nend\n",                               // no pages
        "job 2 101 0 PDF Office\nend\n",                              // savings out of range
        "job 2 30 2 PDF Office\nend\n",                               // cheque is 0 or 1
        "job 2 30 0 HTML Office\nend\n",                              // unknown output
        "job 2 30 0 PDF Off ice\nend\n",                              // a word too many
        "job 2 30 0 PDF Off%4\nend\n",                                // a broken escape
        "job 2 30 0 PDF Off%00ice\nend\n",                            // a NUL in a name
        "job 2 30 0 PDF Office\npage 3 0 0 0 0 0 0 10 5\nend\n",      // a page beyond the job
        "job 2 30 0 PDF Office\npage 1 0 0 0 0 0 0 10 10001\nend\n",  // coverage out of range
        "job 2 30 0 PDF Office\npage 1 0 0 0 0 0 0 10 -1\nend\n",
        "job 2 30 0 PDF Office\njob 2 30 0 PDF Office\nend\n",  // a second job
        "job 2 30 0 PDF Office\nend\nend\n",                    // text after the end
        "job 99999999999 30 0 PDF Office\nend\n",               // beyond 32 bits
    };
    for (const char* text : bad) {
        UsageHandOff::Record record;
        std::string fault;
        EXPECT_FALSE(UsageHandOff::Parse(text, record, fault)) << text;
        EXPECT_FALSE(fault.empty());
    }
    UsageHandOff::Record record;
    std::string fault;
    EXPECT_FALSE(UsageHandOff::Parse(job + page + page + "end\n", record, fault)) << "a page given twice";
    EXPECT_TRUE(UsageHandOff::Parse(job + page + "end\n", record, fault)) << fault;
    EXPECT_FALSE(UsageHandOff::Parse(std::string(UsageHandOff::kMaxSize + 1, 'x'), record, fault));
}
