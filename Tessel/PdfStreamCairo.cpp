#include "PdfStream.h"

#include <cairo-pdf.h>
#include <cairo.h>
#include <cstddef>
#include <memory>

#include "Log.h"
#include "PrintSink.h"

namespace {
// Any size will do here: every page sets its own before it is drawn.
constexpr double kInitialSide = 612.0;

cairo_status_t WriteToSink(void* closure, const unsigned char* data, unsigned int length)
{
    return static_cast<PdfStream*>(closure)->ForwardToSink(data, length) ? CAIRO_STATUS_SUCCESS
                                                                         : CAIRO_STATUS_WRITE_ERROR;
}

struct SurfaceDeleter {
    void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
}  // namespace

PdfStream::PdfStream(PrintSink& sink) : m_sink(sink)
{
    m_pSurface = cairo_pdf_surface_create_for_stream(&WriteToSink, this, kInitialSide, kInitialSide);
    if (cairo_surface_status(m_pSurface) != CAIRO_STATUS_SUCCESS) {
        LogMessage(2, "PDF surface: %s\r\n", cairo_status_to_string(cairo_surface_status(m_pSurface)));
        return;
    }
    cairo_pdf_surface_set_metadata(m_pSurface, CAIRO_PDF_METADATA_CREATOR, "Parsimo");
}

PdfStream::~PdfStream()
{
    if (m_pCairo) cairo_destroy(m_pCairo);
    // Finishing writes through the callback; the sink outlives this object.
    if (m_pSurface) cairo_surface_destroy(m_pSurface);
}

bool PdfStream::ForwardToSink(const unsigned char* data, unsigned int length)
{
    if (m_bWriteFailed || !m_sink.Write(data, length)) m_bWriteFailed = true;
    return !m_bWriteFailed;
}

bool PdfStream::IsValid() const
{
    return m_pSurface && cairo_surface_status(m_pSurface) == CAIRO_STATUS_SUCCESS && !m_bWriteFailed;
}

bool PdfStream::Healthy()
{
    if (!IsValid()) return false;
    if (m_pCairo && cairo_status(m_pCairo) != CAIRO_STATUS_SUCCESS) {
        LogMessage(2, "PDF drawing: %s\r\n", cairo_status_to_string(cairo_status(m_pCairo)));
        return false;
    }
    return true;
}

bool PdfStream::BeginPage(double width, double height)
{
    if (!Healthy() || width <= 0.0 || height <= 0.0) return false;
    // The size must be set before anything is drawn on the page.
    cairo_pdf_surface_set_size(m_pSurface, width, height);
    if (!m_pCairo) m_pCairo = cairo_create(m_pSurface);
    return Healthy();
}

bool PdfStream::DrawImage(int32_t width, int32_t height,
                          const std::function<void(int32_t row, uint32_t* pixels)>& fillRow, double x, double y,
                          double w, double h)
{
    if (!m_pCairo || !Healthy()) return false;
    if (width <= 0 || height <= 0 || width > kMaxImageSide || height > kMaxImageSide || w <= 0.0 || h <= 0.0) {
        LogMessage(2, "PDF image of %d x %d pixels refused.\r\n", width, height);
        return false;
    }
    // The image belongs to cairo until the page is written, so no copy of
    // ours needs to outlive this call.
    std::unique_ptr<cairo_surface_t, SurfaceDeleter> image(cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height));
    if (cairo_surface_status(image.get()) != CAIRO_STATUS_SUCCESS) {
        LogMessage(2, "PDF image: %s\r\n", cairo_status_to_string(cairo_surface_status(image.get())));
        return false;
    }
    cairo_surface_flush(image.get());
    unsigned char* data = cairo_image_surface_get_data(image.get());
    const int stride = cairo_image_surface_get_stride(image.get());
    for (int32_t row = 0; row < height; ++row)
        fillRow(row, reinterpret_cast<uint32_t*>(data + static_cast<ptrdiff_t>(row) * stride));
    cairo_surface_mark_dirty(image.get());

    cairo_save(m_pCairo);
    cairo_translate(m_pCairo, x, y);
    cairo_scale(m_pCairo, w / width, h / height);
    cairo_set_source_surface(m_pCairo, image.get(), 0.0, 0.0);
    // Nearest neighbour: the thinning pattern must not be smoothed away.
    cairo_pattern_set_filter(cairo_get_source(m_pCairo), CAIRO_FILTER_NEAREST);
    cairo_pattern_set_extend(cairo_get_source(m_pCairo), CAIRO_EXTEND_NONE);
    cairo_paint(m_pCairo);
    cairo_restore(m_pCairo);
    return Healthy();
}

bool PdfStream::EndPage()
{
    if (!m_pCairo || !Healthy()) return false;
    cairo_show_page(m_pCairo);
    return Healthy();
}

bool PdfStream::Finish()
{
    if (!m_pSurface) return false;
    if (m_pCairo) {
        cairo_destroy(m_pCairo);
        m_pCairo = nullptr;
    }
    cairo_surface_finish(m_pSurface);
    const cairo_status_t status = cairo_surface_status(m_pSurface);
    if (status != CAIRO_STATUS_SUCCESS) LogMessage(2, "PDF end: %s\r\n", cairo_status_to_string(status));
    return status == CAIRO_STATUS_SUCCESS && !m_bWriteFailed;
}
