#include "PageGeometry.h"

#include <cmath>

#include "DevMode.h"
#include "DeviceContext.h"

PageGeometry PageGeometry::FullPage(double widthPt, double lengthPt, int32_t dpi)
{
    PageGeometry g;
    g.width = widthPt;
    g.length = lengthPt;
    g.right = widthPt;
    g.top = lengthPt;
    g.dpi = dpi;
    return g;
}

bool PageGeometry::IsValid() const
{
    return dpi > 0 && dpi <= 9600 && width > 0.0 && length > 0.0 && left >= 0.0 && bottom >= 0.0 && left < right &&
           bottom < top && right <= width && top <= length;
}

int32_t PageGeometry::Pixels(double points) const
{
    return static_cast<int32_t>(std::lround(points * dpi / 72.0));
}

// Landscape turns the paper a quarter counter-clockwise: the portrait's left
// edge becomes the top, its bottom edge the left.
double PageGeometry::OriginX() const
{
    return landscape ? bottom : left;
}

double PageGeometry::OriginY() const
{
    return landscape ? left : length - top;
}

int32_t PageGeometry::GetMetric(int index) const
{
    // Offsets and extents are rounded as edges, so that origin + extent is
    // the rounded far edge and neighbouring figures never disagree by a pixel.
    const double areaWidth = landscape ? top - bottom : right - left;
    const double areaHeight = landscape ? right - left : top - bottom;
    switch (index) {
    case HORZRES: return Pixels(OriginX() + areaWidth) - Pixels(OriginX());
    case VERTRES: return Pixels(OriginY() + areaHeight) - Pixels(OriginY());
    case PHYSICALWIDTH: return Pixels(PageWidth());
    case PHYSICALHEIGHT: return Pixels(PageHeight());
    case PHYSICALOFFSETX: return Pixels(OriginX());
    case PHYSICALOFFSETY: return Pixels(OriginY());
    case LOGPIXELSX:
    case LOGPIXELSY: return dpi;
    default: return 0;
    }
}

bool PageGeometry::CompleteInto(int32_t resolution, int16_t orientation, PageGeometry& out) const
{
    PageGeometry g = *this;
    g.dpi = resolution;
    g.landscape = orientation == DMORIENT_LANDSCAPE;
    if (!g.IsValid()) return false;
    out = g;
    return true;
}
