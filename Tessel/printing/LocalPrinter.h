#pragma once
#include <memory>
#include <string>
#include <vector>

#include "PpdFile.h"
#include "PrinterDriver.h"

// A printer described by ${TESSEL_PRINTERS:-/etc/tessel/printers}/<name>.ppd
// whose jobs become PDF files in <that folder>/<name>/.
class LocalPrinter : public PrinterDriver {
public:
    LocalPrinter(const std::string& jobFolder, const PpdFile& ppd);

    // Null when there is no such printer or its PPD is unusable (logged).
    static std::unique_ptr<LocalPrinter> Open(const char* name);
    static std::string GetPrintersFolder();
    // Names of the PPD files in the printers folder that Open could take, sorted.
    static std::vector<std::string> ListNames();
    // A name that stays inside the printers folder.
    static bool IsValidName(const char* name);

    uint32_t GetSupportedFields() const override;
    void ReadDefaults(DEVMODE& devMode) override;
    bool GetGeometry(const DEVMODE& devMode, PageGeometry& geometry) override;
    bool AcceptsPdf() override { return true; }
    std::string GetDeviceUri() override;
    std::unique_ptr<PrintSink> StartJob(const char* title, const DEVMODE& devMode,
                                        const std::vector<PrintOption>& options, int32_t& jobId) override;

private:
    int32_t ChooseResolution(int16_t printQuality) const;

    std::string m_jobFolder;
    PpdFile m_ppd;
};
