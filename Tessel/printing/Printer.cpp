#include "Printer.h"

#include <cstring>

#include "FixedText.h"
#include "PaperSizes.h"
#include "PdfContext.h"
#include "PrinterDriver.h"

namespace {
constexpr uint16_t kDriverVersion = 0x0100;
}  // namespace

Printer::Printer(const char* name)
{
    CopyField(m_szName, name);
    if (m_szName[0]) m_pDriver = PrinterDriver::Open(m_szName);
    if (m_pDriver) {
        std::unique_ptr<DEVMODE> setup = LoadDevMode();
        PageGeometry geometry;
        if (setup && m_pDriver->GetGeometry(*setup, geometry))
            m_pContext = std::make_unique<PdfContext>(*m_pDriver, *setup, geometry);
        else
            LogMessage(2, "Printer %s has no usable page size.\r\n", m_szName);
    }
    m_pDeviceCaps = std::make_unique<DeviceCaps>(GetDC());
}

Printer::~Printer() = default;

HDC Printer::GetDC() const
{
    return m_pContext.get();
}

const char* Printer::GetPortName()
{
    m_szPortName[0] = '\0';
    if (!m_pDriver) {
        LogMessage(2, "Printer %s cannot be opened; no port name.\r\n", m_szName);
        return m_szPortName;
    }
    CopyField(m_szPortName, m_pDriver->GetDeviceUri().c_str());
    return m_szPortName;
}

DEVMODE* Printer::GetDevMode()
{
    if (!m_pDevMode) m_pDevMode = LoadDevMode();
    return m_pDevMode.get();
}

std::unique_ptr<DEVMODE> Printer::LoadDevMode()
{
    if (!m_pDriver) {
        LogMessage(2, "Printer %s cannot be opened; no page setup.\r\n", m_szName);
        return nullptr;
    }
    auto dm = std::make_unique<DEVMODE>();
    memset(dm.get(), 0, sizeof(DEVMODE));
    CopyField(dm->dmDeviceName, m_szName);
    dm->dmDriverVersion = kDriverVersion;
    dm->dmOrientation = DMORIENT_PORTRAIT;
    dm->dmPaperSize = DMPAPER_LETTER;
    dm->dmScale = 100;
    dm->dmCopies = 1;
    dm->dmPrintQuality = kDefaultPrintQuality;
    dm->dmCollate = DMCOLLATE_TRUE;
    m_pDriver->ReadDefaults(*dm);
    dm->dmFields = m_pDriver->GetSupportedFields();
    return dm;
}

std::unique_ptr<DEVMODE> Printer::ModifyDevMode(int16_t orientation, int16_t paperSize, int16_t paperLength,
                                                int16_t paperWidth, int16_t printQuality, int16_t copies)
{
    PageGeometry geometry;
    return ModifyDevMode(orientation, paperSize, paperLength, paperWidth, printQuality, copies, geometry);
}

std::unique_ptr<DEVMODE> Printer::ModifyDevMode(int16_t orientation, int16_t paperSize, int16_t paperLength,
                                                int16_t paperWidth, int16_t printQuality, int16_t copies,
                                                PageGeometry& geometry)
{
    std::unique_ptr<DEVMODE> dm = LoadDevMode();
    if (!dm) return nullptr;
    const uint32_t fields = dm->dmFields;
    if (orientation > 0 && (fields & DM_ORIENTATION)) dm->dmOrientation = orientation;
    if (paperSize > 0 && (fields & DM_PAPERSIZE)) {
        dm->dmPaperSize = paperSize;
        // A known paper brings its own size; explicit figures below still win.
        if (const PaperSize* paper = PaperSizes::FindById(paperSize)) {
            dm->dmPaperWidth = static_cast<int16_t>(paper->width);
            dm->dmPaperLength = static_cast<int16_t>(paper->length);
        }
    }
    if (paperLength > 0 && (fields & DM_PAPERLENGTH)) dm->dmPaperLength = paperLength;
    if (paperWidth > 0 && (fields & DM_PAPERWIDTH)) dm->dmPaperWidth = paperWidth;
    if (printQuality != 0 && (fields & DM_PRINTQUALITY)) dm->dmPrintQuality = printQuality;
    if (copies > 0 && (fields & DM_COPIES)) dm->dmCopies = copies;
    if (!m_pDriver->GetGeometry(*dm, geometry)) {
        LogMessage(2, "Printer %s cannot print paper %d (%d x %d) at quality %d.\r\n", m_szName, dm->dmPaperSize,
                   dm->dmPaperWidth, dm->dmPaperLength, dm->dmPrintQuality);
        return nullptr;
    }
    return dm;
}

bool Printer::SetDevMode(int16_t orientation, int16_t paperSize, int16_t paperLength, int16_t paperWidth,
                         int16_t printQuality, int16_t copies)
{
    PageGeometry geometry;
    std::unique_ptr<DEVMODE> dm =
        ModifyDevMode(orientation, paperSize, paperLength, paperWidth, printQuality, copies, geometry);
    if (!dm) return false;
    if (m_pContext)
        m_pContext->SetPageSetup(*dm, geometry);
    else
        m_pContext = std::make_unique<PdfContext>(*m_pDriver, *dm, geometry);
    m_pContext->SetJobOptions(m_options);
    m_pDevMode = std::move(dm);
    m_pDeviceCaps = std::make_unique<DeviceCaps>(GetDC());
    return true;
}

void Printer::SetJobOptions(const std::vector<PrintOption>& options)
{
    m_options = options;
    if (m_pContext) m_pContext->SetJobOptions(options);
}

bool Printer::GetDevModeValues(int16_t* orientation, int16_t* paperSize, int16_t* paperLength, int16_t* paperWidth,
                               int16_t* printQuality, int16_t* copies)
{
    const DEVMODE* dm = GetDevMode();
    if (!dm) return false;
    if (orientation) *orientation = dm->dmOrientation;
    if (paperSize) *paperSize = dm->dmPaperSize;
    if (paperLength) *paperLength = dm->dmPaperLength;
    if (paperWidth) *paperWidth = dm->dmPaperWidth;
    if (printQuality) *printQuality = dm->dmPrintQuality;
    if (copies) *copies = dm->dmCopies;
    return true;
}

bool Printer::SupportsStretchDIB()
{
    return (::GetDeviceCaps(GetDC(), RASTERCAPS) & RC_STRETCHDIB) != 0;
}

PrinterDriver::JobState Printer::QueryJob(int32_t jobId)
{
    return m_pDriver ? m_pDriver->QueryJob(jobId) : PrinterDriver::JobState::Unknown;
}

void Printer::LogInfo()
{
    LogText("[%s Printer Info]\r\n", m_szName);
    LogText("  - Printer Name : %s\r\n", m_szName);
    LogText("  - Port Name : %s\r\n", GetPortName());
    LogText("  - StretchDIB: %s\r\n", SupportsStretchDIB() ? "Yes" : "No");
    LogText("\r\n");
    LogText("[%s Device Mode Info]\r\n", m_szName);
    if (const DEVMODE* dm = GetDevMode()) {
        const int dpi = ::GetDeviceCaps(GetDC(), LOGPIXELSX);
        const auto pixels = [dpi](int16_t tenths) { return static_cast<int>(dpi * tenths / 254.0); };
        LogText("  - Device Name : %s\r\n", dm->dmDeviceName);
        LogText("  - Driver Version : %d\r\n", static_cast<int>(dm->dmDriverVersion));
        LogText("  - dmOrientation : %d\r\n", dm->dmOrientation);
        LogText("  - dmPaperSize : %d\r\n", dm->dmPaperSize);
        LogText("  - dmPaperWidth : %d (0.1 mm) ~ %d (pixels)\r\n", dm->dmPaperWidth, pixels(dm->dmPaperWidth));
        LogText("  - dmPaperLength : %d (0.1 mm) ~ %d (pixels)\r\n", dm->dmPaperLength, pixels(dm->dmPaperLength));
        LogText("  - dmPrintQuality : %d\r\n", dm->dmPrintQuality);
        LogText("  - dmCopies : %d\r\n", dm->dmCopies);
        LogText("  - dmCollate : %d\r\n", dm->dmCollate);
        LogText("\r\n");
    }
    m_pDeviceCaps->LogInfo(m_szName);
}
