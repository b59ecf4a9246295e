#pragma once
#include <cstdint>

// Where the paper and its printable area lie, in PostScript points of the
// portrait paper, and the device resolution. Everything the context reports
// as device metrics is derived here, landscape included.
class PageGeometry {
public:
    double width = 0.0;   // portrait paper width, points
    double length = 0.0;  // portrait paper length, points
    // Printable area of the portrait paper, origin bottom-left.
    double left = 0.0;
    double bottom = 0.0;
    double right = 0.0;
    double top = 0.0;
    int32_t dpi = 300;
    bool landscape = false;

    // Full paper with no margins.
    static PageGeometry FullPage(double widthPt, double lengthPt, int32_t dpi);
    bool IsValid() const;
    // Takes the resolution and the page setup's orientation; stores the result
    // in out only when it is a usable page.
    bool CompleteInto(int32_t resolution, int16_t orientation, PageGeometry& out) const;
    // Size of the page as it is printed (landscape exchanges the sides), points.
    double PageWidth() const { return landscape ? length : width; }
    double PageHeight() const { return landscape ? width : length; }
    // HORZRES, VERTRES, PHYSICALWIDTH/HEIGHT, PHYSICALOFFSETX/Y, LOGPIXELSX/Y; 0 for others.
    int32_t GetMetric(int index) const;
    // Top-left corner of the printable area from the page's top-left corner, points.
    double OriginX() const;
    double OriginY() const;

private:
    int32_t Pixels(double points) const;
};
