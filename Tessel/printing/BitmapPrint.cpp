#include "BitmapPrint.h"

#include <algorithm>
#include <cmath>
#include <exception>

#include "DeviceCaps.h"
#include "Log.h"
#include "LoggedError.h"
#include "SysUtils.h"

namespace {
// Cuts toward zero; a value no 32-bit integer can hold (or no number at
// all) is an arithmetic fault, never undefined behaviour.
int32_t Trunc(double value)
{
    if (!std::isfinite(value) || value >= 2147483648.0 || value <= -2147483649.0)
        THROW_LOGGED("Arithmetic operation exception.");
    return static_cast<int32_t>(value);
}

const char* ScaleName(int32_t mode)
{
    switch (mode) {
    case BP_SCALE_HORZ: return "Scale: BP_SCALE_HORZ\r\n";
    case BP_SCALE_VERT: return "Scale: BP_SCALE_VERT\r\n";
    case BP_SCALE_PAGE: return "Scale: BP_SCALE_PAGE\r\n";
    case BP_SCALE_CUSTOM: return "Scale: BP_SCALE_CUSTOM\r\n";
    case BP_SCALE_NONE: return "Scale: BP_SCALE_NONE\r\n";
    case BP_SCALE_FIT: return "Scale: BP_SCALE_FIT\r\n";
    default: return nullptr;
    }
}

}  // namespace

BitmapPrint::BitmapPrint(HBITMAP hBitmap, bool borrowPixels) : Bitmap(hBitmap, borrowPixels) { }

BitmapPrint::~BitmapPrint() = default;

int32_t BitmapPrint::BitmapHeight() const
{
    // A top-down DIB has a negative height; its rows count the same.
    return m_pDIB->biHeight < 0 ? -m_pDIB->biHeight : m_pDIB->biHeight;
}

int32_t BitmapPrint::Print(HDC hdc, const char* documentName, int32_t scaleMode)
{
    if (!m_pDIB) THROW_LOGGED("No bitmap data.");
    if (!hdc) THROW_LOGGED("Invalid printer DC.");
    int32_t ownJob = 0;
    if (m_iJobId == 0) {
        const DOCINFOA info{20, documentName, nullptr, nullptr, 0};
        ownJob = StartDocA(hdc, &info);
    }
    bool printed = false;
    if (m_iJobId > 0 || ownJob > 0) {
        if (StartPage(hdc) > 0) {
            try {
                CalcTargetRect(hdc, scaleMode);
                PrintBitmap(hdc, SRCCOPY, true);
            } catch (...) {
                LogText("Internal Print Engine Error. File %s, Line %d.\r\n", BaseFileName(__FILE__), __LINE__);
            }
            printed = EndPage(hdc) > 0;
        }
        if (ownJob > 0) {
            try {
                EndDoc(hdc);
            } catch (...) {
                LogMessage(2, "EndDoc() caused an exception!\r\n");
                throw;
            }
        }
    }
    if (!printed) return 0;
    return m_iJobId > 0 ? m_iJobId : ownJob;
}

void BitmapPrint::CalcTargetRect(HDC hdc, int32_t scaleMode)
{
    if (!m_pDIB) THROW_LOGGED("No bitmap data.");
    const int32_t width = m_pDIB->biWidth;
    const int32_t height = BitmapHeight();
    if (gLogLevel == 0) {
        LogText("m_pDIB (before): %d %d\r\n", m_pDIB->biWidth, m_pDIB->biHeight);
        LogText("m_SPrint (before): %d %d %d %d\r\n", m_SPrint.left, m_SPrint.top, m_SPrint.right, m_SPrint.bottom);
        LogText("m_RPrint (before): %d %d %d %d\r\n", m_RPrint.left, m_RPrint.top, m_RPrint.right, m_RPrint.bottom);
        if (const char* name = ScaleName(scaleMode)) LogText("%s", name);
    }
    if (m_SPrint.right > width) m_SPrint.right = width;
    if (m_SPrint.bottom > height) m_SPrint.bottom = height;
    // A source area before the first row or column would read outside the image.
    if (m_SPrint.left < 0) m_SPrint.left = 0;
    if (m_SPrint.top < 0) m_SPrint.top = 0;

    const DeviceCaps caps(hdc);
    m_RPrint = RECT{caps.m_iLeftMargin, caps.m_iTopMargin, caps.m_iLeftMargin + caps.m_iPrintableWidth,
                    caps.m_iTopMargin + caps.m_iPrintableHeight};
    if (m_iResolution <= 0) THROW_LOGGED("Invalid bitmap resolution.");
    const double sx = static_cast<double>(caps.m_iResolutionX) / m_iResolution;
    const double sy = static_cast<double>(caps.m_iResolutionY) / m_iResolution;
    const int32_t x0 = Trunc(m_SPrint.left * sx - caps.m_iLeftMargin);
    const int32_t y0 = Trunc(m_SPrint.top * sy - caps.m_iTopMargin);
    const double w = static_cast<double>(m_SPrint.right) - m_SPrint.left;
    const double h = static_cast<double>(m_SPrint.bottom) - m_SPrint.top;
    switch (scaleMode) {
    case BP_SCALE_HORZ: m_RPrint = RECT{0, y0, caps.m_iPrintableWidth, Trunc(y0 + h * sy)}; break;
    case BP_SCALE_VERT: m_RPrint = RECT{x0, 0, Trunc(x0 + w * sx), caps.m_iPrintableHeight}; break;
    case BP_SCALE_PAGE: m_RPrint = RECT{0, 0, caps.m_iPrintableWidth, caps.m_iPrintableHeight}; break;
    case BP_SCALE_NONE: m_RPrint = RECT{x0, y0, Trunc(x0 + w * sx), Trunc(y0 + h * sy)}; break;
    case BP_SCALE_FIT: {
        if (w <= 0.0 || h <= 0.0) THROW_LOGGED("Invalid target print area.");
        const double scale = std::min(caps.m_iPrintableWidth / w, caps.m_iPrintableHeight / h);
        const int32_t fitWidth = Trunc(w * scale), fitHeight = Trunc(h * scale);
        const int32_t left = (caps.m_iPrintableWidth - fitWidth) / 2, top = (caps.m_iPrintableHeight - fitHeight) / 2;
        m_RPrint = RECT{left, top, left + fitWidth, top + fitHeight};
        break;
    }
    default: break;
    }
    if (gLogLevel == 0) {
        LogText("m_SPrint (after): %d %d %d %d\r\n", m_SPrint.left, m_SPrint.top, m_SPrint.right, m_SPrint.bottom);
        LogText("m_RPrint: %d %d %d %d\r\n", m_RPrint.left, m_RPrint.top, m_RPrint.right, m_RPrint.bottom);
    }
}

bool BitmapPrint::MapBandToImage(RECT& strip, RECT& source)
{
    const RECT band = strip;
    if (!IntersectRect(&strip, &band, &m_RPrint)) return false;
    const double sw = static_cast<double>(m_SPrint.right) - m_SPrint.left;
    const double sh = static_cast<double>(m_SPrint.bottom) - m_SPrint.top;
    if (sw <= 0.0 || sh <= 0.0) THROW_LOGGED("Arithmetic operation exception.");
    const double fx = (static_cast<double>(m_RPrint.right) - m_RPrint.left) / sw;
    const double fy = (static_cast<double>(m_RPrint.bottom) - m_RPrint.top) / sh;
    const double stripWidth = static_cast<double>(strip.right) - strip.left;
    const double stripHeight = static_cast<double>(strip.bottom) - strip.top;
    source.left = Trunc(m_SPrint.left + (static_cast<double>(strip.left) - m_RPrint.left) / fx);
    source.right = Trunc(source.left + stripWidth / fx);
    source.bottom = Trunc(m_SPrint.bottom - (static_cast<double>(strip.top) - m_RPrint.top) / fy);
    source.top = Trunc(source.bottom - stripHeight / fy);
    return true;
}

void BitmapPrint::PrintBitmap(HDC hdc, uint32_t rop, bool allowBanding)
{
    if (IsRectEmpty(&m_RPrint)) THROW_LOGGED("Invalid target print area.");
    if (GetDeviceCaps(hdc, RASTERCAPS) & RC_PALETTE) THROW_LOGGED("Unsupported printer.");
    if (!m_pDIB) THROW_LOGGED("No bitmap data.");
    const int32_t query = NEXTBAND;
    // Only systems outside the NT family print in bands (GetOSVersion is 0 there).
    const bool banded = Escape(hdc, QUERYESCSUPPORT, sizeof query, &query, nullptr) != 0 && GetOSVersion() == 0;
    if (!banded || !allowBanding) {
        SetStretchBltMode(hdc, COLORONCOLOR);
        StretchDIBits(hdc, m_RPrint.left, m_RPrint.top, m_RPrint.right - m_RPrint.left, m_RPrint.bottom - m_RPrint.top,
                      m_SPrint.left, BitmapHeight() - m_SPrint.bottom, m_SPrint.right - m_SPrint.left,
                      m_SPrint.bottom - m_SPrint.top, m_pBits, m_pDIB, DIB_RGB_COLORS, rop);
        return;
    }
    RECT band{0, 0, 0, 0};
    for (int32_t bands = 0; Escape(hdc, NEXTBAND, 0, nullptr, &band) != 0 && !IsRectEmpty(&band); ++bands) {
        if (bands == kMaxBands) {
            LogMessage(2, "The printer gave more than %d bands for one page; the rest is dropped.\r\n", kMaxBands);
            break;
        }
        // The band comes from the device: its figures may be anything, so
        // they are added up wide, and only the strips that meet the target
        // area are visited (the others would draw nothing).
        const int64_t bandHeight = int64_t{band.bottom} - band.top;
        const int64_t h = bandHeight < kMaxStripHeight ? bandHeight : kMaxStripHeight;
        const int64_t strips = bandHeight / h + 1;
        for (int64_t i = band.top < 0 ? -int64_t{band.top} / h : 0; i < strips; ++i) {
            const int64_t top = int64_t{m_RPrint.top} + band.top + i * h;
            if (top >= m_RPrint.bottom) break;
            // Clipped to the target area here, as MapBandToImage would.
            RECT strip{m_RPrint.left, static_cast<int32_t>(std::max<int64_t>(top, m_RPrint.top)), m_RPrint.right,
                       static_cast<int32_t>(std::min<int64_t>(top + h, m_RPrint.bottom))};
            RECT source{0, 0, 0, 0};
            if (!MapBandToImage(strip, source)) continue;
            if (gLogLevel == 0) {
                const int n = static_cast<int>(i);
                LogText("_RBand Nr. %d: (%d, %d, %d, %d)\r\n", n, strip.left, strip.top, strip.right, strip.bottom);
                LogText("_RImage Nr. %d: (%d, %d, %d, %d)\r\n", n, source.left, source.top, source.right,
                        source.bottom);
            }
            SetStretchBltMode(hdc, COLORONCOLOR);
            StretchDIBits(hdc, strip.left, strip.top, strip.right - strip.left, strip.bottom - strip.top, source.left,
                          source.top, source.right - source.left, source.bottom - source.top, m_pBits, m_pDIB,
                          DIB_RGB_COLORS, rop);
        }
    }
}
