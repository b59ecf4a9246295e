#include <gtest/gtest.h>

#include "JobFailure.h"
#include "Messages.h"

namespace {
// A printed job that ran to its end: three pages rendered, three printed.
RunFindings Printed()
{
    RunFindings run;
    run.pagesDelivered = 3;
    run.pagesPrinted = 3;
    run.target = "Office";
    run.dataFolder = "/home/ann/.local/share/QMVK/Parsimo/";
    run.timeoutSeconds = 60;
    return run;
}
}  // namespace

// A file output job has no print document to finish and no pages printed.
TEST(JobFailure, AJobThatRanToItsEndDidNotFail)
{
    EXPECT_FALSE(JobFailure::Classify(Printed()).Failed());
    RunFindings files = Printed();
    files.printing = files.documentDone = false;
    files.pagesDelivered = files.pagesPrinted = 0;
    EXPECT_FALSE(JobFailure::Classify(files).Failed());
}

// Only a target that did not take the document may take it later; whatever
// the job itself holds fails the same way again.
TEST(JobFailure, OnlyATargetThatDidNotTakeTheDocumentIsTriedAgain)
{
    struct Case {
        const char* what;
        void (*change)(RunFindings&);
        int messageId;
        const char* detail;
        int status;
    };
    const Case cases[] = {
        {"the target's job failed", [](RunFindings& r) { r.documentDone = false; }, MSG_PRINT_FAILED, "Office",
         kExitTryLater},
        {"a page that could not be printed", [](RunFindings& r) { r.pagesPrinted = 2; }, MSG_PRINT_FAILED, "Office",
         kExitFailed},
        {"no pages", [](RunFindings& r) { r.pagesDelivered = r.pagesPrinted = 0; }, MSG_NO_PAGES, "", kExitFailed},
        {"the page stream broke off", [](RunFindings& r) { r.streamWhole = false; }, MSG_RENDER_FAILED,
         "the page stream from Ghostscript broke off", kExitFailed},
        {"no output file",
         [](RunFindings& r) {
             r.printing = false;
             r.outputWritten = false;
         },
         MSG_OUTPUT_FAILED, "/home/ann/.local/share/QMVK/Parsimo/", kExitFailed},
    };
    for (const Case& c : cases) {
        RunFindings run = Printed();
        c.change(run);
        const JobFailure failure = JobFailure::Classify(run);
        EXPECT_EQ(failure.messageId, c.messageId) << c.what;
        EXPECT_EQ(failure.detail, c.detail) << c.what;
        EXPECT_EQ(failure.status, c.status) << c.what;
    }
}

// The first cause is the one told: a failure a page recorded comes before
// the rendering's, which comes before the delivery's.
TEST(JobFailure, TheFirstCauseIsTheOneTold)
{
    RunFindings run = Printed();
    run.recordedMessage = MSG_OUTPUT_FAILED;
    run.recordedDetail = "/tmp";
    run.timedOut = true;
    run.documentDone = false;
    EXPECT_EQ(JobFailure::Classify(run).messageId, MSG_OUTPUT_FAILED);
    run.recordedMessage = 0;
    const JobFailure failure = JobFailure::Classify(run);
    EXPECT_EQ(failure.messageId, MSG_JOB_TIMEOUT);
    EXPECT_EQ(failure.status, kExitFailed);
}
