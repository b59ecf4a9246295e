#include "BackendJob.h"

#include "DevModeOptions.h"

namespace {
// The figures a DEVMODE field can carry.
constexpr long kMaxCopies = 32767;
constexpr long kMaxJobId = 2147483647;
}  // namespace

bool BackendJob::Parse(int argc, const char* const* argv, BackendJob& job, std::string& fault)
{
    if (argc != 6 && argc != 7) {
        fault = "Usage: parsimo job-id user title copies options [file]";
        return false;
    }
    long number = 0;
    if (!DevModeOptions::ParseInteger(argv[1], 1, kMaxJobId, number)) {
        fault = std::string("Bad job id \"") + argv[1] + "\"";
        return false;
    }
    job.jobId = static_cast<int32_t>(number);
    if (!DevModeOptions::ParseInteger(argv[4], 1, kMaxCopies, number)) {
        fault = std::string("Bad copy count \"") + argv[4] + "\"";
        return false;
    }
    job.copies = static_cast<int32_t>(number);
    job.user = argv[2];
    if (job.user.empty()) {
        fault = "The job has no user";
        return false;
    }
    job.title = argv[3];
    job.options = argv[5];
    job.file = argc == 7 ? argv[6] : "";
    return true;
}
