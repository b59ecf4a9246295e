#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "DevMode.h"
#include "DevModeOptions.h"
#include "PageGeometry.h"
#include "PrintSink.h"

// One printer a user may choose.
struct PrinterEntry {
    std::string name;
    bool isDefault = false;  // the system's default destination
    std::string deviceUri;   // empty when the spooler does not say
};

// What a printer is behind its name: a spooler destination or a local
// printer described by a PPD. The Printer and its device context ask it for
// defaults, geometry and jobs.
class PrinterDriver {
public:
    virtual ~PrinterDriver() = default;

    // Spooler destinations first, then local printers; null when neither knows the name.
    static std::unique_ptr<PrinterDriver> Open(const char* name);
    // Every printer Open would find: spooler destinations, then the local
    // printers whose names the spooler does not use.
    static std::vector<PrinterEntry> List();
    // The user's default destination; empty when there is none.
    static std::string DefaultName();

    // The fields this printer honours (DM_* bits).
    virtual uint32_t GetSupportedFields() const = 0;
    // The printer's current page setup.
    virtual void ReadDefaults(DEVMODE& devMode) = 0;
    // The paper, printable area and resolution of a page setup; false when
    // the printer cannot print it.
    virtual bool GetGeometry(const DEVMODE& devMode, PageGeometry& geometry) = 0;
    virtual bool AcceptsPdf() = 0;
    virtual std::string GetDeviceUri() = 0;
    // A new job taking a PDF document; null (logged) when none can be started.
    // `options` are the job's own requests beyond the page setup (sides, a
    // paper source); each replaces what the page setup says of the same name.
    virtual std::unique_ptr<PrintSink> StartJob(const char* title, const DEVMODE& devMode,
                                                const std::vector<PrintOption>& options, int32_t& jobId) = 0;

    // Where a finished job stands with the system that prints it.
    enum class JobState {
        Waiting,   // queued or held: not yet taken up
        Printing,  // being printed
        Done,      // printed, or written where it belongs
        Failed,    // aborted, cancelled or stopped
        Unknown,   // nobody answered
    };
    // A printer without a spooler is done with a job once its document is.
    virtual JobState QueryJob(int32_t jobId)
    {
        (void)jobId;
        return JobState::Done;
    }
};
