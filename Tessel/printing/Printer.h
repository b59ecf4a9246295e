#pragma once
#include <cstdint>
#include <memory>

#include "DevMode.h"
#include "DeviceCaps.h"
#include "DeviceContext.h"
#include "Log.h"
#include "PageGeometry.h"
#include "PrinterDriver.h"

class PdfContext;

// One installed printer, known by name: a spooler destination or a local
// printer. Owns its device context, made for the current page setup, and the
// metrics read from it. Failures are logged and answered with empty values,
// never raised.
class Printer {
public:
    explicit Printer(const char* name);
    virtual ~Printer();
    Printer(const Printer&) = delete;
    Printer& operator=(const Printer&) = delete;

    // Null when the printer cannot be opened.
    HDC GetDC() const;
    const DeviceCaps& GetDeviceCaps() const { return *m_pDeviceCaps; }

    // The device URI; empty when the printer is unknown.
    const char* GetPortName();
    // The page setup, fetched on first use; null without a printer.
    DEVMODE* GetDevMode();
    std::unique_ptr<DEVMODE> LoadDevMode();
    // The current page setup with the given values (0 leaves a field, as does a
    // field the printer does not support), checked by the printer; null when it
    // cannot print that setup.
    std::unique_ptr<DEVMODE> ModifyDevMode(int16_t orientation, int16_t paperSize, int16_t paperLength,
                                           int16_t paperWidth, int16_t printQuality, int16_t copies);
    // Makes the modified setup current with its device context and metrics.
    // While a document is open the context stays and the setup applies from
    // its next page.
    bool SetDevMode(int16_t orientation, int16_t paperSize, int16_t paperLength, int16_t paperWidth,
                    int16_t printQuality, int16_t copies);
    // The job's requests beyond the page setup (see PrinterDriver::StartJob),
    // for the next document.
    void SetJobOptions(const std::vector<PrintOption>& options);
    bool GetDevModeValues(int16_t* orientation, int16_t* paperSize, int16_t* paperLength, int16_t* paperWidth,
                          int16_t* printQuality, int16_t* copies);
    bool SupportsStretchDIB();
    // Where a job handed to this printer stands; Unknown without a printer.
    PrinterDriver::JobState QueryJob(int32_t jobId);
    void LogInfo();

private:
    // ModifyDevMode, also giving the geometry the printer found for the setup.
    std::unique_ptr<DEVMODE> ModifyDevMode(int16_t orientation, int16_t paperSize, int16_t paperLength,
                                           int16_t paperWidth, int16_t printQuality, int16_t copies,
                                           PageGeometry& geometry);

    char m_szName[kMaxPath + 1] = {};
    char m_szPortName[kMaxPath + 1] = {};
    std::unique_ptr<PrinterDriver> m_pDriver;
    std::unique_ptr<PdfContext> m_pContext;
    std::unique_ptr<DEVMODE> m_pDevMode;
    std::unique_ptr<DeviceCaps> m_pDeviceCaps;
    std::vector<PrintOption> m_options;
};
