#include <cups/cups.h>
#include <memory>

#include "Scheduler.h"

namespace {
struct IppDeleter {
    void operator()(ipp_t* ipp) const { ippDelete(ipp); }
};
using IppPtr = std::unique_ptr<ipp_t, IppDeleter>;
}  // namespace

std::vector<PrintOption> Scheduler::ParseOptions(const std::string& text)
{
    cups_option_t* options = nullptr;
    const int count = cupsParseOptions(text.c_str(), 0, &options);
    std::vector<PrintOption> result;
    for (int i = 0; i < count; ++i)
        result.emplace_back(options[i].name ? options[i].name : "", options[i].value ? options[i].value : "");
    cupsFreeOptions(count, options);
    return result;
}

std::string Scheduler::OriginatingHost(int jobId)
{
    ipp_t* request = ippNewRequest(IPP_OP_GET_JOB_ATTRIBUTES);
    char uri[256];
    httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", 0, "/jobs/%d", jobId);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "job-uri", nullptr, uri);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr,
                 "job-originating-host-name");
    const IppPtr response(cupsDoRequest(CUPS_HTTP_DEFAULT, request, "/jobs/"));
    if (!response) return {};
    const char* host =
        ippGetString(ippFindAttribute(response.get(), "job-originating-host-name", IPP_TAG_NAME), 0, nullptr);
    return host ? host : "";
}

std::string Scheduler::HostName()
{
    char name[256];
    return httpGetHostname(nullptr, name, sizeof name) ? name : "";
}
