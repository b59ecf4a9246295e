#pragma once
#include <memory>
#include <string>
#include <vector>

#include "PrinterDriver.h"

struct _http_s;
struct cups_dest_s;
struct _cups_dinfo_s;

// A destination of the CUPS scheduler (CUPS_SERVER is honoured). Page sizes,
// margins and resolutions come from the destination's IPP attributes.
class CupsPrinter : public PrinterDriver {
public:
    struct HttpCloser {
        void operator()(_http_s* http) const;
    };
    struct DestFreer {
        void operator()(cups_dest_s* dest) const;
    };
    struct InfoFreer {
        void operator()(_cups_dinfo_s* info) const;
    };
    using HttpPtr = std::unique_ptr<_http_s, HttpCloser>;
    using DestPtr = std::unique_ptr<cups_dest_s, DestFreer>;
    using InfoPtr = std::unique_ptr<_cups_dinfo_s, InfoFreer>;

    // Null when no scheduler answers or it has no destination of that name.
    static std::unique_ptr<CupsPrinter> Open(const char* name);
    // A new connection to the scheduler; null (not logged) when none answers.
    static HttpPtr Connect();
    // The scheduler's destinations (no instances); empty when none answers.
    static std::vector<PrinterEntry> List();
    // The default destination (LPDEST, PRINTER, the user's and the
    // scheduler's choice, in that order); empty when there is none.
    static std::string DefaultName();

    uint32_t GetSupportedFields() const override;
    void ReadDefaults(DEVMODE& devMode) override;
    bool GetGeometry(const DEVMODE& devMode, PageGeometry& geometry) override;
    bool AcceptsPdf() override;
    std::string GetDeviceUri() override;
    std::unique_ptr<PrintSink> StartJob(const char* title, const DEVMODE& devMode,
                                        const std::vector<PrintOption>& options, int32_t& jobId) override;
    // The job's job-state, asked on a connection of its own.
    JobState QueryJob(int32_t jobId) override;

private:
    CupsPrinter(HttpPtr http, DestPtr dest, InfoPtr info);
    int32_t ChooseResolution(int16_t printQuality);

    HttpPtr m_http;
    DestPtr m_dest;
    InfoPtr m_info;
};
