#pragma once
#include <cstdint>
#include <functional>

class PrintSink;
struct _cairo;
struct _cairo_surface;

// A PDF document written page by page into a PrintSink. Images are placed
// with nearest-neighbour sampling and stored losslessly, so a keep/drop
// pattern reaches the printer as it was. A page leaves for the sink when it
// ends; nothing of it is kept afterwards.
class PdfStream {
public:
    // Largest image side taken (pixels); larger requests are refused.
    static constexpr int32_t kMaxImageSide = 32767;

    explicit PdfStream(PrintSink& sink);
    ~PdfStream();
    PdfStream(const PdfStream&) = delete;
    PdfStream& operator=(const PdfStream&) = delete;

    bool IsValid() const;
    // Starts a page of that size in points.
    bool BeginPage(double width, double height);
    // An image of width x height pixels, filled row by row (top row first,
    // 0x00RRGGBB) by fillRow, placed at (x, y) with size (w, h) in points
    // from the page's top-left corner.
    bool DrawImage(int32_t width, int32_t height, const std::function<void(int32_t row, uint32_t* pixels)>& fillRow,
                   double x, double y, double w, double h);
    // Writes the page to the sink.
    bool EndPage();
    // Writes the document's end; false when any write failed.
    bool Finish();

    // The write callback's target: passes bytes on unless a write has failed.
    bool ForwardToSink(const unsigned char* data, unsigned int length);

private:
    bool Healthy();

    PrintSink& m_sink;
    bool m_bWriteFailed = false;
    _cairo_surface* m_pSurface = nullptr;
    _cairo* m_pCairo = nullptr;
};
