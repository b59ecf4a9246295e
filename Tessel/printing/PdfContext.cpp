#include "PdfContext.h"

#include "DibRaster.h"
#include "Log.h"
#include "PdfStream.h"
#include "PrinterDriver.h"

namespace {
constexpr double kEdgeInset = 1.0 / 16.0;  // device pixels
}  // namespace

PdfContext::PdfContext(PrinterDriver& driver, const DEVMODE& devMode, const PageGeometry& geometry)
    : m_driver(driver), m_devMode(devMode), m_geometry(geometry), m_nextGeometry(geometry),
      m_bAcceptsPdf(driver.AcceptsPdf())
{ }

PdfContext::~PdfContext()
{
    // A document never ended must not reach the printer half done.
    if (m_sink) AbortDoc();
}

void PdfContext::SetPageSetup(const DEVMODE& devMode, const PageGeometry& geometry)
{
    m_devMode = devMode;
    m_nextGeometry = geometry;
    if (!m_bPageOpen) m_geometry = geometry;
}

int PdfContext::GetDeviceCaps(int index) const
{
    if (index == RASTERCAPS) return m_bAcceptsPdf ? RC_STRETCHDIB : 0;
    return m_geometry.GetMetric(index);
}

int PdfContext::StartDoc(const DOCINFOA& info)
{
    if (m_sink) {
        LogMessage(2, "StartDoc while a document is open.\r\n");
        return SP_ERROR;
    }
    const char* title = info.lpszDocName && *info.lpszDocName ? info.lpszDocName : "Untitled";
    int32_t jobId = 0;
    std::unique_ptr<PrintSink> sink = m_driver.StartJob(title, m_devMode, m_options, jobId);
    if (!sink || jobId <= 0) return SP_ERROR;
    auto stream = std::make_unique<PdfStream>(*sink);
    if (!stream->IsValid()) {
        sink->Abort();
        return SP_ERROR;
    }
    m_sink = std::move(sink);
    m_stream = std::move(stream);
    m_iJobId = jobId;
    return jobId;
}

int PdfContext::StartPage()
{
    if (!m_stream || m_bPageOpen) return SP_ERROR;
    m_geometry = m_nextGeometry;
    if (!m_stream->BeginPage(m_geometry.PageWidth(), m_geometry.PageHeight())) return SP_ERROR;
    m_bPageOpen = true;
    return 1;
}

int PdfContext::EndPage()
{
    if (!m_stream || !m_bPageOpen) return SP_ERROR;
    m_bPageOpen = false;
    m_geometry = m_nextGeometry;
    return m_stream->EndPage() ? 1 : SP_ERROR;
}

int PdfContext::EndDoc()
{
    if (!m_sink) return SP_ERROR;
    // A page left open is ended, as the spooler would.
    if (m_bPageOpen) EndPage();
    const bool written = m_stream->Finish();
    m_stream.reset();
    std::unique_ptr<PrintSink> sink = std::move(m_sink);
    if (!written) {
        LogMessage(2, "Print job %d could not be written; dropped.\r\n", m_iJobId);
        sink->Abort();
        return SP_ERROR;
    }
    return sink->Finish() ? 1 : SP_ERROR;
}

int PdfContext::AbortDoc()
{
    if (!m_sink) return SP_ERROR;
    m_bPageOpen = false;
    m_stream.reset();
    m_sink->Abort();
    m_sink.reset();
    return 1;
}

int PdfContext::StretchDIBits(int xDest, int yDest, int destWidth, int destHeight, int xSrc, int ySrc, int srcWidth,
                              int srcHeight, const void* bits, const BITMAPINFOHEADER* info, unsigned usage,
                              uint32_t rop)
{
    if (!m_bPageOpen || usage != DIB_RGB_COLORS || rop != SRCCOPY) return 0;
    DibRaster raster;
    if (!raster.Attach(info, bits)) return 0;
    // Mirroring and areas outside the bitmap are not supported: refuse them
    // rather than read beyond the rows.
    if (destWidth <= 0 || destHeight <= 0 || srcWidth <= 0 || srcHeight <= 0 || xSrc < 0 || ySrc < 0 ||
        xSrc > raster.GetWidth() - srcWidth || ySrc > raster.GetHeight() - srcHeight) {
        LogMessage(2, "StretchDIBits source (%d, %d, %d x %d) outside the %d x %d bitmap or empty.\r\n", xSrc, ySrc,
                   srcWidth, srcHeight, raster.GetWidth(), raster.GetHeight());
        return 0;
    }
    if (destWidth > PdfStream::kMaxImageSide || destHeight > PdfStream::kMaxImageSide) {
        LogMessage(2, "StretchDIBits destination of %d x %d pixels refused.\r\n", destWidth, destHeight);
        return 0;
    }
    // The image is scaled, nearest neighbour, to whole device pixels and
    // placed on the device's pixel grid: a renderer then has nothing to
    // resample, so no interpreter can smooth the pattern (some interpolate
    // small enlargements whatever the PDF asks).
    const int32_t topRow = raster.GetHeight() - ySrc - srcHeight;
    PdfStream::Source source;
    source.width = srcWidth;
    source.height = srcHeight;
    if (raster.IsIndexed()) {
        source.palette = std::span<const uint32_t>(raster.Palette(), static_cast<size_t>(raster.PaletteSize()));
        source.readIndices = [&](int32_t row, uint8_t* indices) {
            raster.ReadIndices(xSrc, topRow + row, srcWidth, indices);
        };
        if (raster.HasByteIndices()) source.indexRow = [&](int32_t row) { return raster.IndexRow(xSrc, topRow + row); };
    } else {
        source.readRow = [&](int32_t row, uint32_t* pixels) { raster.ReadRow(xSrc, topRow + row, srcWidth, pixels); };
    }
    // Each edge is moved inwards by a sixteenth of a pixel: renderers that
    // paint the pixels whose centres the image covers are unaffected, and
    // those that round the far edge up (poppler) no longer see one pixel more
    // and resample the whole image to fit it.
    const double pt = 72.0 / m_geometry.dpi;
    const double inset = kEdgeInset * pt;
    // Added up as doubles: the caller's offsets may be any int.
    const double x = static_cast<double>(m_geometry.GetMetric(PHYSICALOFFSETX)) + xDest;
    const double y = static_cast<double>(m_geometry.GetMetric(PHYSICALOFFSETY)) + yDest;
    const bool drawn = m_stream->DrawImage(source, destWidth, destHeight, x * pt + inset, y * pt + inset,
                                           destWidth * pt - 2 * inset, destHeight * pt - 2 * inset);
    return drawn ? srcHeight : 0;
}
