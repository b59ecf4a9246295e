#pragma once
#include <string>
#include <vector>

struct LaunchOutcome;

// The backend's run: lists its device, or hands one job to the job processor.
class Backend {
public:
    // The scheduler's backend exit codes.
    static constexpr int kOk = 0;
    static constexpr int kFailed = 1;
    static constexpr int kCancel = 5;  // the job ends; the queue goes on, whatever its error policy
    static constexpr int kRetry = 6;   // the job is tried again later; the queue goes on

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

    // One line of the job processor's error stream as the scheduler is to
    // see it: its "ERROR:", "WARNING:" and "INFO:" lines (the job's state
    // message) as they are, anything else (a toolkit's warnings) for the log
    // only. No other kind of line: those would change the queue itself.
    static std::string RelayLine(const std::string& line);

    // The exit code for a run of the job processor: printed, cancelled by its
    // user or never printable end the job, a target that cannot take it now
    // has it tried again.
    static int ExitCode(const LaunchOutcome& outcome);
};
