#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "PrintSink.h"

// A local printer's job: written under a hidden temporary name in the job
// folder and renamed to "job-<id>.pdf" only when complete, never replacing
// another job's file.
class LocalJobFile : public PrintSink {
public:
    static constexpr int32_t kMaxJobId = 999999;

    ~LocalJobFile() override;

    // Creates the folder (mode 0700) when missing; null (logged) on failure.
    static std::unique_ptr<LocalJobFile> Create(const std::string& folder, int32_t& jobId);

    bool Write(const unsigned char* data, size_t size) override;
    bool Finish() override;
    void Abort() override;

private:
    LocalJobFile(const std::string& folder, int32_t jobId, int fd, const std::string& tempPath);

    std::string m_folder;
    int32_t m_iJobId;
    int m_fd;
    std::string m_tempPath;
};
