#pragma once
#include <cstdint>
#include <string>

// The job as the scheduler hands it to a backend:
//   job-id user title copies options [file]
class BackendJob {
public:
    // False with the reason in `fault` for a wrong count or a malformed number.
    static bool Parse(int argc, const char* const* argv, BackendJob& job, std::string& fault);

    int32_t jobId = 0;
    std::string user;
    std::string title;
    int32_t copies = 1;
    std::string options;
    std::string file;  // empty: the job comes on standard input
};
