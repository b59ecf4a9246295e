#include "DeviceCaps.h"

#include "Log.h"

DeviceCaps::DeviceCaps(HDC hdc)
{
    if (!hdc) return;
    m_iPrintableWidth = GetDeviceCaps(hdc, HORZRES);
    m_iPrintableHeight = GetDeviceCaps(hdc, VERTRES);
    m_iPageWidth = GetDeviceCaps(hdc, PHYSICALWIDTH);
    m_iPageHeight = GetDeviceCaps(hdc, PHYSICALHEIGHT);
    m_iLeftMargin = GetDeviceCaps(hdc, PHYSICALOFFSETX);
    m_iTopMargin = GetDeviceCaps(hdc, PHYSICALOFFSETY);
    m_iResolutionX = GetDeviceCaps(hdc, LOGPIXELSX);
    m_iResolutionY = GetDeviceCaps(hdc, LOGPIXELSY);
}

void DeviceCaps::LogInfo(const char* printerName) const
{
    LogText("[%s Device Capabilities]\r\n", printerName);
    LogText("  - Page Width : %d\r\n", m_iPageWidth);
    LogText("  - Page Height : %d\r\n", m_iPageHeight);
    LogText("  - Horizontal Resolution : %d\r\n", m_iResolutionX);
    LogText("  - Vertical Resolution : %d\r\n", m_iResolutionY);
    LogText("  - Printable Width : %d\r\n", m_iPrintableWidth);
    LogText("  - Printable Height : %d\r\n", m_iPrintableHeight);
    LogText("  - Left Margin : %d\r\n", m_iLeftMargin);
    LogText("  - Top Margin : %d\r\n", m_iTopMargin);
    LogText("\r\n");
}
