#pragma once
#include <string>
#include <vector>

#include "DevModeOptions.h"

// What the backend asks of the scheduler and its library.
class Scheduler {
public:
    // The job's options text ("name=value name2='a b' flag") as pairs, in order.
    static std::vector<PrintOption> ParseOptions(const std::string& options);
    // The host the job came from, as the scheduler recorded it; empty when unknown.
    static std::string OriginatingHost(int jobId);
    // This host's name.
    static std::string HostName();
};
