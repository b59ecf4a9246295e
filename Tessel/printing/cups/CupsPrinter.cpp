#include <cups/cups.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstdio>

#include "CupsJob.h"
#include "CupsPrinter.h"
#include "Log.h"
#include "PaperSizes.h"

namespace {
constexpr int kConnectTimeoutMs = 5000;

// CUPS sizes and margins are in hundredths of a millimetre.
double HundredthsToPoints(int value)
{
    return value * 72.0 / 2540.0;
}

double TenthsToPoints(int32_t value)
{
    return value * 72.0 / 254.0;
}
}  // namespace

void CupsPrinter::HttpCloser::operator()(_http_s* http) const
{
    httpClose(http);
}

void CupsPrinter::DestFreer::operator()(cups_dest_s* dest) const
{
    cupsFreeDests(1, dest);
}

void CupsPrinter::InfoFreer::operator()(_cups_dinfo_s* info) const
{
    cupsFreeDestInfo(info);
}

CupsPrinter::HttpPtr CupsPrinter::Connect()
{
    return HttpPtr(
        httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1, kConnectTimeoutMs, nullptr));
}

std::vector<PrinterEntry> CupsPrinter::List()
{
    std::vector<PrinterEntry> printers;
    // The job processor falls back to this same default when no target is
    // chosen, so the list marks exactly that one (the environment's choice
    // included, which the destinations' own flag leaves out).
    const std::string defaultName = DefaultName();
    HttpPtr http = Connect();
    if (!http) return printers;
    cups_dest_t* dests = nullptr;
    const int count = cupsGetDests2(http.get(), &dests);
    for (int i = 0; i < count && dests; ++i) {
        const cups_dest_t& dest = dests[i];
        if (!dest.name || dest.instance) continue;  // an instance is a saved option set, not a printer
        const char* uri = cupsGetOption("device-uri", dest.num_options, dest.options);
        printers.push_back({dest.name, defaultName == dest.name, uri ? uri : ""});
    }
    cupsFreeDests(count, dests);
    return printers;
}

CupsPrinter::CupsPrinter(HttpPtr http, DestPtr dest, InfoPtr info)
    : m_http(std::move(http)), m_dest(std::move(dest)), m_info(std::move(info))
{ }

std::unique_ptr<CupsPrinter> CupsPrinter::Open(const char* name)
{
    if (!name || !*name) return nullptr;
    HttpPtr http = Connect();
    if (!http) return nullptr;
    DestPtr dest(cupsGetNamedDest(http.get(), name, nullptr));
    if (!dest) return nullptr;
    InfoPtr info(cupsCopyDestInfo(http.get(), dest.get()));
    if (!info) {
        LogMessage(2, "CUPS destination %s gives no information: %s\r\n", name, cupsLastErrorString());
        return nullptr;
    }
    return std::unique_ptr<CupsPrinter>(new CupsPrinter(std::move(http), std::move(dest), std::move(info)));
}

std::string CupsPrinter::DefaultName()
{
    HttpPtr http = Connect();
    if (!http) return {};
    DestPtr dest(cupsGetNamedDest(http.get(), nullptr, nullptr));
    return dest && dest->name ? dest->name : "";
}

uint32_t CupsPrinter::GetSupportedFields() const
{
    return DM_ORIENTATION | DM_PAPERSIZE | DM_PAPERLENGTH | DM_PAPERWIDTH | DM_SCALE | DM_COPIES | DM_PRINTQUALITY |
           DM_COLLATE;
}

void CupsPrinter::ReadDefaults(DEVMODE& dm)
{
    cups_size_t size;
    if (cupsGetDestMediaDefault(m_http.get(), m_dest.get(), m_info.get(), CUPS_MEDIA_FLAGS_DEFAULT, &size))
        DevModeOptions::ApplyOption(dm, "media", size.media);
    dm.dmPrintQuality = static_cast<int16_t>(ChooseResolution(0));
    // The user's saved options (lpoptions) come last and win.
    for (int i = 0; i < m_dest->num_options; ++i)
        DevModeOptions::ApplyOption(dm, m_dest->options[i].name, m_dest->options[i].value);
}

int32_t CupsPrinter::ChooseResolution(int16_t quality)
{
    int32_t fallback = kDefaultPrintQuality;
    ipp_res_t units;
    int y = 0;
    ipp_attribute_t* def = cupsFindDestDefault(m_http.get(), m_dest.get(), m_info.get(), "printer-resolution");
    if (def && ippGetValueTag(def) == IPP_TAG_RESOLUTION) {
        const int x = ippGetResolution(def, 0, &y, &units);
        if (units == IPP_RES_PER_INCH && x > 0 && x <= 32767) fallback = x;
    }
    if (quality <= 0) return fallback;
    ipp_attribute_t* supported = cupsFindDestSupported(m_http.get(), m_dest.get(), m_info.get(), "printer-resolution");
    // A destination that names no resolutions takes what it is asked for.
    if (!supported || ippGetValueTag(supported) != IPP_TAG_RESOLUTION) return quality;
    for (int i = 0; i < ippGetCount(supported); ++i)
        if (ippGetResolution(supported, i, &y, &units) == quality && units == IPP_RES_PER_INCH) return quality;
    return fallback;
}

bool CupsPrinter::GetGeometry(const DEVMODE& dm, PageGeometry& geometry)
{
    const PaperSize* paper = PaperSizes::FindForSetup(dm.dmPaperSize, dm.dmPaperWidth, dm.dmPaperLength);
    int32_t width = paper ? paper->width : dm.dmPaperWidth;
    int32_t length = paper ? paper->length : dm.dmPaperLength;
    if (width <= 0 || length <= 0) return false;
    const std::string media = paper ? std::string(paper->pwgName) : PaperSizes::CustomPwgName(width, length);
    PageGeometry g;
    cups_size_t size;
    if (cupsGetDestMediaByName(m_http.get(), m_dest.get(), m_info.get(), media.c_str(), CUPS_MEDIA_FLAGS_DEFAULT,
                               &size) &&
        size.width > 0 && size.length > 0) {
        g.width = HundredthsToPoints(size.width);
        g.length = HundredthsToPoints(size.length);
        g.left = HundredthsToPoints(size.left);
        g.bottom = HundredthsToPoints(size.bottom);
        g.right = g.width - HundredthsToPoints(size.right);
        g.top = g.length - HundredthsToPoints(size.top);
    } else if (!cupsFindDestSupported(m_http.get(), m_dest.get(), m_info.get(), "media")) {
        // A queue that names no media (a raw queue) takes any paper whole.
        g = PageGeometry::FullPage(TenthsToPoints(width), TenthsToPoints(length), 0);
    } else {
        return false;
    }
    return g.CompleteInto(ChooseResolution(dm.dmPrintQuality), dm.dmOrientation, geometry);
}

bool CupsPrinter::AcceptsPdf()
{
    ipp_attribute_t* formats = cupsFindDestSupported(m_http.get(), m_dest.get(), m_info.get(), "document-format");
    return !formats || ippContainsString(formats, CUPS_FORMAT_PDF) ||
           ippContainsString(formats, "application/octet-stream");
}

std::string CupsPrinter::GetDeviceUri()
{
    const char* uri = cupsGetOption("device-uri", m_dest->num_options, m_dest->options);
    if (!uri) uri = cupsGetOption("printer-uri-supported", m_dest->num_options, m_dest->options);
    return uri ? uri : "";
}

std::unique_ptr<PrintSink> CupsPrinter::StartJob(const char* title, const DEVMODE& dm,
                                                 const std::vector<PrintOption>& requested, int32_t& jobId)
{
    std::vector<PrintOption> options;
    // The PDF's pages already lie as they should; asking for an orientation
    // as well would turn them a second time.
    for (PrintOption& option : DevModeOptions::ToOptions(dm))
        if (option.first != "orientation-requested") options.push_back(std::move(option));
    for (const PrintOption& option : requested) {
        const auto same = [&](const PrintOption& o) { return o.first == option.first; };
        options.erase(std::remove_if(options.begin(), options.end(), same), options.end());
        options.push_back(option);
    }
    return CupsJob::Start(m_dest.get(), title, options, jobId);
}

PrinterDriver::JobState CupsPrinter::QueryJob(int32_t jobId)
{
    HttpPtr http = Connect();
    if (!http || jobId <= 0) return JobState::Unknown;
    ipp_t* request = ippNewRequest(IPP_OP_GET_JOB_ATTRIBUTES);
    char uri[64];
    std::snprintf(uri, sizeof uri, "ipp://localhost/jobs/%d", jobId);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "job-uri", nullptr, uri);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr, "job-state");
    ipp_t* response = cupsDoRequest(http.get(), request, "/");
    ipp_attribute_t* state = response ? ippFindAttribute(response, "job-state", IPP_TAG_ENUM) : nullptr;
    const int value = state ? ippGetInteger(state, 0) : 0;
    ippDelete(response);
    switch (value) {
    case IPP_JSTATE_PENDING:
    case IPP_JSTATE_HELD: return JobState::Waiting;
    case IPP_JSTATE_PROCESSING: return JobState::Printing;
    case IPP_JSTATE_COMPLETED: return JobState::Done;
    case IPP_JSTATE_STOPPED:
    case IPP_JSTATE_CANCELED:
    case IPP_JSTATE_ABORTED: return JobState::Failed;
    default:
        LogMessage(2, "CUPS job %d: no state known (%s).\r\n", jobId, cupsLastErrorString());
        return JobState::Unknown;
    }
}
