#pragma once
#include <string>
#include <vector>

// The backend's run: lists its device, or hands one job to the job processor.
class Backend {
public:
    // The scheduler's backend exit codes.
    static constexpr int kOk = 0;
    static constexpr int kFailed = 1;

    // The account that runs every job not of an authenticated person, and
    // the folder of its per-name settings and data; PARSIMO_SERVICE_ACCOUNT
    // and PARSIMO_SERVICE_HOME (the scheduler's SetEnv) name others.
    static constexpr const char* kServiceAccount = "parsimo";
    static constexpr const char* kServiceHome = "/var/lib/parsimo";
    // No job runs longer than the machine's JobTimeoutLimit (seconds).
    static constexpr int kDefaultJobTimeoutLimit = 3600;
    static constexpr int kMaxJobTimeoutLimit = 7 * 86400;

    static constexpr const char* kDeviceLine = "direct parsimo:/ \"Parsimo\" \"Parsimo toner-saving printer\"";

    // argv as the scheduler passes it; `environment` is our own ("NAME=value").
    static int Run(int argc, const char* const* argv, const std::vector<std::string>& environment);

    // One line of the job processor's error stream as the scheduler is to see it.
    static std::string RelayLine(const std::string& line);
};
