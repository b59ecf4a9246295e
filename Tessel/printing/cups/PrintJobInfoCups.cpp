#include <cstdio>
#include <cups/cups.h>
#include <iterator>
#include <vector>

#include "CupsPrinter.h"
#include "DevModeOptions.h"
#include "FixedText.h"
#include "PrintJobInfo.h"

namespace {
struct IppDeleter {
    void operator()(ipp_t* ipp) const { ippDelete(ipp); }
};
using IppPtr = std::unique_ptr<ipp_t, IppDeleter>;

const char* const kRequested[] = {
    "job-name",
    "job-originating-user-name",
    "job-originating-host-name",
    "media",
    "orientation-requested",
    "print-quality",
    "printer-resolution",
    "copies",
    "multiple-document-handling",
    "job-impressions",
    "job-impressions-completed",
};

// What a user may ask of the target through the virtual queue, in IPP's
// names and in those of the PPD options the scheduler keeps as given.
const char* const kPassedOn[] = {
    "sides",  "media-source", "media-type", "print-color-mode", "output-bin", "multiple-document-handling",
    "Duplex", "InputSlot",    "MediaType",  "ColorModel",       "OutputBin",
};

// One value of an attribute as the text that job options use.
bool ValueText(ipp_attribute_t* attr, char* text, size_t size)
{
    if (!attr || ippGetCount(attr) < 1) return false;
    switch (ippGetValueTag(attr)) {
    case IPP_TAG_INTEGER:
    case IPP_TAG_ENUM: snprintf(text, size, "%d", ippGetInteger(attr, 0)); return true;
    case IPP_TAG_RESOLUTION: {
        int y = 0;
        ipp_res_t units;
        const int x = ippGetResolution(attr, 0, &y, &units);
        if (units != IPP_RES_PER_INCH) return false;
        snprintf(text, size, "%dx%ddpi", x, y);
        return true;
    }
    case IPP_TAG_KEYWORD:
    case IPP_TAG_NAME:
    case IPP_TAG_TEXT: {
        const char* value = ippGetString(attr, 0, nullptr);
        if (!value) return false;
        snprintf(text, size, "%s", value);
        return true;
    }
    default: return false;
    }
}
}  // namespace

bool PrintJobInfo::ReadFromSpooler(const char* printerName, int32_t jobId)
{
    if (!printerName || !*printerName) return false;
    CupsPrinter::HttpPtr http = CupsPrinter::Connect();
    if (!http) return false;
    CupsPrinter::DestPtr dest(cupsGetNamedDest(http.get(), printerName, nullptr));
    if (!dest) return false;  // as an unknown printer: nothing to say
    const char* uri = cupsGetOption("printer-uri-supported", dest->num_options, dest->options);
    char assembled[HTTP_MAX_URI];
    if (!uri) {
        httpAssembleURIf(HTTP_URI_CODING_ALL, assembled, sizeof assembled, "ipp", nullptr, "localhost", ippPort(),
                         "/printers/%s", printerName);
        uri = assembled;
    }
    ipp_t* request = ippNewRequest(IPP_OP_GET_JOB_ATTRIBUTES);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri);
    ippAddInteger(request, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "job-id", jobId);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
    std::vector<const char*> requested(std::begin(kRequested), std::end(kRequested));
    requested.insert(requested.end(), std::begin(kPassedOn), std::end(kPassedOn));
    ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes",
                  static_cast<int>(requested.size()), nullptr, requested.data());
    IppPtr response(cupsDoRequest(http.get(), request, "/"));
    if (!response || cupsLastError() > IPP_STATUS_OK_CONFLICTING) {
        LogMessage(2, "Job %d of printer %s not readable: %s. File %s, Line %d.\r\n", jobId, printerName,
                   cupsLastErrorString(), BaseFileName(__FILE__), __LINE__);
        return false;
    }
    ipp_t* job = response.get();
    const auto text = [job](const char* name) -> const char* {
        ipp_attribute_t* attr = ippFindAttribute(job, name, IPP_TAG_ZERO);
        return attr ? ippGetString(attr, 0, nullptr) : nullptr;
    };
    if (const char* host = text("job-originating-host-name")) CopyField(MachineName, host);
    if (const char* user = text("job-originating-user-name")) CopyField(UserName, user);
    if (const char* name = text("job-name")) CopyField(PrintDocumentName, name);

    DEVMODE dm{};
    char value[256];
    for (const char* name : {"media", "orientation-requested", "print-quality", "printer-resolution", "copies",
                             "multiple-document-handling"}) {
        if (ValueText(ippFindAttribute(job, name, IPP_TAG_ZERO), value, sizeof value))
            DevModeOptions::ApplyOption(dm, name, value);
    }
    if (dm.dmFields == 0)
        LogText("Null DevMode Pointer found in File %s, Line %d.\r\n", BaseFileName(__FILE__), __LINE__);
    else
        SetPageSetup(dm);
    // Page counts are never negative; a server saying otherwise leaves the field as it was.
    const auto integer = [job, jobId](const char* name, int32_t& field) {
        ipp_attribute_t* attr = ippFindAttribute(job, name, IPP_TAG_INTEGER);
        if (!attr || ippGetCount(attr) < 1) return;
        const int count = ippGetInteger(attr, 0);
        if (count >= 0)
            field = count;
        else
            LogMessage(2, "Job %d: %s of %d ignored.\r\n", jobId, name, count);
    };
    TargetOptions.clear();
    for (const char* name : kPassedOn)
        if (ValueText(ippFindAttribute(job, name, IPP_TAG_ZERO), value, sizeof value))
            TargetOptions.emplace_back(name, value);
    integer("job-impressions", TotalPages);
    integer("job-impressions-completed", PagesPrinted);
    return true;
}
