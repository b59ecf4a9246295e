#pragma once
#include <string>

// The all-users statistics database, which the backend alone writes (as
// root), from the figures the job processor handed back. The job's user is
// the backend's to name, never the figures'.
class SystemStatistics {
public:
    // <all-users folder>QMVK/Parsimo/Parsimo.sdf
    static std::string DatabasePath();
    // Records the job, the computer it came from and its pages; false with
    // the reason in `fault` when nothing was recorded.
    static bool Record(const std::string& figures, const std::string& user, const std::string& host,
                       std::string& fault);
};
