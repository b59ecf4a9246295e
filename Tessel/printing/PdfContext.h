#pragma once
#include <cstdint>
#include <memory>

#include "DevMode.h"
#include "DevModeOptions.h"
#include "DeviceContext.h"
#include "PageGeometry.h"

class PdfStream;
class PrintSink;
class PrinterDriver;

// The device context of a Printer: composes each page from the bitmaps
// placed on it and streams the document as PDF into one job of the printer.
// A page leaves when it ends, so at most one page is held in memory.
class PdfContext : public DeviceContext {
public:
    // The driver stays the caller's and must outlive the context.
    PdfContext(PrinterDriver& driver, const DEVMODE& devMode, const PageGeometry& geometry);
    ~PdfContext() override;

    // A new page setup; while a document is open it takes effect with the next page.
    void SetPageSetup(const DEVMODE& devMode, const PageGeometry& geometry);
    // The job's requests beyond the page setup, for the next document.
    void SetJobOptions(const std::vector<PrintOption>& options) { m_options = options; }

    int GetDeviceCaps(int index) const override;
    int StartDoc(const DOCINFOA& info) override;
    int StartPage() override;
    int EndPage() override;
    int EndDoc() override;
    int AbortDoc() override;
    int StretchDIBits(int xDest, int yDest, int destWidth, int destHeight, int xSrc, int ySrc, int srcWidth,
                      int srcHeight, const void* bits, const BITMAPINFOHEADER* info, unsigned usage,
                      uint32_t rop) override;

private:
    PrinterDriver& m_driver;
    DEVMODE m_devMode;
    std::vector<PrintOption> m_options;
    PageGeometry m_geometry;      // of the page being composed (metrics answer for it)
    PageGeometry m_nextGeometry;  // for the next page
    bool m_bAcceptsPdf;
    std::unique_ptr<PrintSink> m_sink;
    std::unique_ptr<PdfStream> m_stream;
    bool m_bPageOpen = false;
    int32_t m_iJobId = 0;
};
