#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "CupsPrinter.h"
#include "DevModeOptions.h"
#include "PrintSink.h"

// One job of a CUPS destination taking one streamed PDF document, on a
// connection of its own (the document may end on another thread than it began).
class CupsJob : public PrintSink {
public:
    ~CupsJob() override;

    // Null (logged) when the scheduler refuses the job.
    static std::unique_ptr<CupsJob> Start(cups_dest_s* dest, const char* title, const std::vector<PrintOption>& options,
                                          int32_t& jobId);

    bool Write(const unsigned char* data, size_t size) override;
    bool Finish() override;
    void Abort() override;

private:
    CupsJob(CupsPrinter::HttpPtr http, CupsPrinter::DestPtr dest, CupsPrinter::InfoPtr info, int32_t jobId);

    CupsPrinter::HttpPtr m_http;
    CupsPrinter::DestPtr m_dest;
    CupsPrinter::InfoPtr m_info;
    int32_t m_iJobId;
    bool m_bOpen = true;
};
