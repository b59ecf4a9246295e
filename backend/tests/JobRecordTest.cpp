#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "JobRecord.h"
#include "RegistryHive.h"
#include "ScratchFolder.h"

namespace {
BackendJob Job(int copies = 1)
{
    BackendJob job;
    job.jobId = 42;
    job.user = "alice";
    job.title = "report.pdf";
    job.copies = copies;
    return job;
}

PrintJobInfo Record(std::vector<PrintOption> options, int copies = 1)
{
    return JobRecord::FromJob(Job(copies), options, "host1");
}
}  // namespace

TEST(JobRecord, MediaNamesAndCustomSizes)
{
    const struct {
        const char* name;
        const char* value;
        int paper, width, length;
    } cases[] = {
        {"media", "tray-1,na_ledger_11x17in", 3, 0, 0},  // a size after a source
        {"PageSize", "Custom.595x842", 9, 0, 0},         // points, within a millimetre of A4
        {"PageSize", "Custom.100x200mm", 256, 1000, 2000},
        {"media", "custom_4x6in", 256, 1016, 1524},
    };
    for (const auto& c : cases) {
        const PrintJobInfo r = Record({{c.name, c.value}});
        EXPECT_EQ(std::vector<int>({r.PaperSize, r.PaperWidth, r.PaperLength}),
                  std::vector<int>({c.paper, c.width, c.length}))
            << c.value;
    }
    int32_t w = 0, l = 0;
    for (const char* bad : {"Custom.0x100", "Custom.100x200furlong", "Custom.1e9x1", "A4.100x200"})
        EXPECT_FALSE(JobRecord::ParseCustomSize(bad, w, l)) << bad;
}

TEST(JobRecord, OrientationResolutionCopiesCollate)
{
    EXPECT_EQ(Record({{"orientation-requested", "4"}}).Orientation, 2);
    EXPECT_EQ(Record({{"landscape", "true"}, {"landscape", "false"}}).Orientation, 1);  // the last one wins
    EXPECT_EQ(Record({{"printer-resolution", "1200x600dpi"}}).PrintQuality, 1200);
    EXPECT_EQ(Record({{"print-quality", "5"}}).PrintQuality, 300);
    EXPECT_EQ(Record({{"copies", "9"}}, 3).Copies, 3);  // the arguments' count is the one
    EXPECT_EQ(Record({{"multiple-document-handling", "separate-documents-uncollated-copies"}}).Collate, 0);
}

TEST(JobRecord, StoreWritesTypedValuesAndKeepsTheRest)
{
    ScratchFolder folder;
    const std::string hive = folder.Write("user.reg", "REGEDIT4\n\n[HKEY_CURRENT_USER\\SOFTWARE\\QMVK\\Parsimo]\n"
                                                      "\"TargetPrinterName\"=\"Office\"\n\"PrinterName\"=\"\"\n");
    BackendJob job = Job(2);
    job.title = "line\nbreak \"quoted\"" + std::string(300, 'x');  // cut to 260
    const PrintJobInfo record = JobRecord::FromJob(job, {{"PageSize", "Custom.100x200mm"}}, "host1");
    ASSERT_TRUE(JobRecord::Store(record, hive.c_str(), "Parsimo2"));

    RegistryHive read;
    ASSERT_TRUE(read.Load(hive.c_str()));
    EXPECT_EQ(read.ProblemCount(), 0);
    RegistryHive::Value v;
    ASSERT_TRUE(read.GetValue(JobRecord::kRecordKey, "PrintDocumentName", v));
    EXPECT_EQ(std::string(v.data.begin(), v.data.end()).substr(0, 19), "line break \"quoted\"");
    EXPECT_EQ(v.data.size(), 261u);
    ASSERT_TRUE(read.GetValue(JobRecord::kRecordKey, "PaperWidth", v));
    EXPECT_EQ(v.data[0] | v.data[1] << 8, 1000);
    ASSERT_TRUE(read.GetValue(JobRecord::kSettingsKey, "TargetPrinterName", v));
    EXPECT_EQ(std::string(v.data.begin(), v.data.end()), std::string("Office\0", 7));

    // A hive that is not a regular file is never replaced.
    std::filesystem::create_directory(folder.Path("dir.reg"));
    EXPECT_FALSE(JobRecord::Store(record, folder.Path("dir.reg").c_str(), "Parsimo"));
}

TEST(JobRecord, EachJobHasItsOwnRecordAndOnlyTheNewestAreKept)
{
    ScratchFolder folder;
    const std::string hive = folder.Path("user.reg");
    const size_t jobs = JobRecord::kKeptJobRecords + 5;
    for (size_t id = 1; id <= jobs; ++id) {
        BackendJob job = Job(1);
        job.jobId = static_cast<int32_t>(id);
        job.title = "job-" + std::to_string(id);
        ASSERT_TRUE(JobRecord::Store(JobRecord::FromJob(job, {}, "host"), hive.c_str(), "Parsimo"));
    }
    RegistryHive read;
    ASSERT_TRUE(read.Load(hive.c_str()));
    const auto title = [&](const std::string& key) {
        RegistryHive::Value v;
        return read.GetValue(key, "PrintDocumentName", v) ? std::string(v.data.begin(), v.data.end() - 1) : "";
    };
    // A job started a moment later rewrote the shared record, never an earlier job's own.
    EXPECT_EQ(title(JobRecord::kRecordKey), "job-" + std::to_string(jobs));
    const std::string own = std::string(JobRecord::kRecordKey) + "\\";
    EXPECT_EQ(title(own + "6"), "job-6");
    EXPECT_FALSE(read.HasKey(own + "5"));
    EXPECT_EQ(read.SubKeys(JobRecord::kRecordKey).size(), JobRecord::kKeptJobRecords);
}
