#include "JobFailure.h"

#include "Messages.h"

namespace {
JobFailure Failure(int messageId, std::string detail, std::string cause, int status = kExitFailed)
{
    JobFailure failure;
    failure.messageId = messageId;
    failure.detail = std::move(detail);
    failure.cause = std::move(cause);
    failure.status = status;
    return failure;
}
}  // namespace

JobFailure JobFailure::Classify(const RunFindings& run)
{
    if (run.recordedMessage != 0)
        // The target's spooler did not take the document: it may later.
        return Failure(run.recordedMessage, run.recordedDetail, "a page could not be printed",
                       run.recordedMessage == MSG_PRINT_FAILED ? kExitTryLater : kExitFailed);
    if (run.timedOut) return Failure(MSG_JOB_TIMEOUT, std::to_string(run.timeoutSeconds), "Ghostscript gave no output");
    if (!run.launched)
        return Failure(MSG_RENDER_FAILED, "Ghostscript could not be started", "Ghostscript could not be started");
    if (run.exitStatus != 0) {
        const std::string cause = "Ghostscript ended with status " + std::to_string(run.exitStatus);
        return Failure(MSG_RENDER_FAILED, cause, cause);
    }
    if (!run.streamWhole)
        return Failure(MSG_RENDER_FAILED, "the page stream from Ghostscript broke off",
                       "the page stream from Ghostscript broke off");
    if (run.printing) {
        if (!run.documentDone)
            return Failure(MSG_PRINT_FAILED, run.target, "the print document was not finished", kExitTryLater);
        if (run.pagesDelivered == 0) return Failure(MSG_NO_PAGES, "", "the job holds no page");
        if (run.pagesPrinted < static_cast<uint32_t>(run.pagesDelivered))
            return Failure(MSG_PRINT_FAILED, run.target, "a page could not be printed");
    } else if (!run.outputWritten) {
        return Failure(MSG_OUTPUT_FAILED, run.dataFolder, "Ghostscript wrote no output file");
    }
    return JobFailure();
}
