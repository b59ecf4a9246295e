#include <cups/cups.h>

#include "CupsJob.h"
#include "Log.h"

CupsJob::CupsJob(CupsPrinter::HttpPtr http, CupsPrinter::DestPtr dest, CupsPrinter::InfoPtr info, int32_t jobId)
    : m_http(std::move(http)), m_dest(std::move(dest)), m_info(std::move(info)), m_iJobId(jobId)
{ }

CupsJob::~CupsJob()
{
    if (m_bOpen) Abort();
}

std::unique_ptr<CupsJob> CupsJob::Start(cups_dest_s* source, const char* title, const std::vector<PrintOption>& options,
                                        int32_t& jobId)
{
    CupsPrinter::HttpPtr http = CupsPrinter::Connect();
    cups_dest_t* copy = nullptr;
    if (!http || cupsCopyDest(source, 0, &copy) != 1) {
        LogMessage(2, "CUPS scheduler not reachable for a new job of %s.\r\n", source->name);
        return nullptr;
    }
    CupsPrinter::DestPtr dest(copy);
    CupsPrinter::InfoPtr info(cupsCopyDestInfo(http.get(), dest.get()));
    if (!info) {
        LogMessage(2, "CUPS destination %s: %s\r\n", dest->name, cupsLastErrorString());
        return nullptr;
    }
    int numOptions = 0;
    cups_option_t* cupsOptions = nullptr;
    for (const PrintOption& option : options)
        numOptions = cupsAddOption(option.first.c_str(), option.second.c_str(), numOptions, &cupsOptions);
    int id = 0;
    const ipp_status_t created =
        cupsCreateDestJob(http.get(), dest.get(), info.get(), &id, title, numOptions, cupsOptions);
    cupsFreeOptions(numOptions, cupsOptions);
    if (created > IPP_STATUS_OK_CONFLICTING || id <= 0) {
        LogMessage(2, "CUPS refused a job on %s: %s\r\n", dest->name, cupsLastErrorString());
        return nullptr;
    }
    std::unique_ptr<CupsJob> job(new CupsJob(std::move(http), std::move(dest), std::move(info), id));
    if (cupsStartDestDocument(job->m_http.get(), job->m_dest.get(), job->m_info.get(), id, title, CUPS_FORMAT_PDF, 0,
                              nullptr, 1) != HTTP_STATUS_CONTINUE) {
        LogMessage(2, "CUPS job %d on %s takes no document: %s\r\n", id, job->m_dest->name, cupsLastErrorString());
        return nullptr;  // the destructor cancels the empty job
    }
    jobId = id;
    return job;
}

bool CupsJob::Write(const unsigned char* data, size_t size)
{
    if (!m_bOpen) return false;
    if (cupsWriteRequestData(m_http.get(), reinterpret_cast<const char*>(data), size) != HTTP_STATUS_CONTINUE) {
        LogMessage(2, "CUPS job %d: writing failed: %s\r\n", m_iJobId, cupsLastErrorString());
        return false;
    }
    return true;
}

bool CupsJob::Finish()
{
    if (!m_bOpen) return false;
    m_bOpen = false;
    const ipp_status_t status = cupsFinishDestDocument(m_http.get(), m_dest.get(), m_info.get());
    if (status > IPP_STATUS_OK_CONFLICTING) {
        LogMessage(2, "CUPS job %d was not accepted: %s\r\n", m_iJobId, cupsLastErrorString());
        return false;
    }
    return true;
}

void CupsJob::Abort()
{
    if (!m_bOpen) return;
    m_bOpen = false;
    // The connection is in the middle of the document: drop it and cancel
    // the job on a fresh one, so the printer never gets a partial document.
    m_http.reset();
    CupsPrinter::HttpPtr http = CupsPrinter::Connect();
    if (!http || cupsCancelDestJob(http.get(), m_dest.get(), m_iJobId) > IPP_STATUS_OK_CONFLICTING)
        LogMessage(2, "CUPS job %d could not be cancelled: %s\r\n", m_iJobId, cupsLastErrorString());
}
