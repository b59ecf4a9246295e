#pragma once
#include <cstdint>
#include <string>

#include "JobExit.h"

// What a run found at its end, for telling whether and why it failed.
struct RunFindings {
    int recordedMessage = 0;  // the first failure a page recorded, 0 for none
    std::string recordedDetail;
    bool timedOut = false;  // Ghostscript gave no output for timeoutSeconds
    int timeoutSeconds = 0;
    bool launched = true;  // Ghostscript ran
    int exitStatus = 0;    // and ended with this status
    bool streamWhole = true;
    bool printing = true;      // the pages went to the target, not to files
    bool documentDone = true;  // the print document reached the target's spooler and did not fail there
    int32_t pagesDelivered = 0;
    uint32_t pagesPrinted = 0;
    bool outputWritten = true;  // file output: Ghostscript wrote a file
    std::string target;
    std::string dataFolder;
};

// Why a job did not run to its end, as the user is told it, and what becomes
// of the job: a target that did not take the document may take it later,
// anything else stays as it is.
class JobFailure {
public:
    // The first reason that applies; none (Failed() false) for a job that ran to its end.
    static JobFailure Classify(const RunFindings& run);

    bool Failed() const { return messageId != 0; }

    int messageId = 0;
    std::string detail;  // the message's place holder
    std::string cause;   // for the log
    int status = kExitPrinted;
};
