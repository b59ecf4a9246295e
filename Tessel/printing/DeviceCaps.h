#pragma once
#include <cstdint>

#include "DeviceContext.h"

// The page metrics of a device context, in device pixels and dots per inch;
// all 0 without a context.
class DeviceCaps {
public:
    explicit DeviceCaps(HDC hdc);
    virtual ~DeviceCaps() = default;

    // Writes the "[%s Device Capabilities]" section.
    void LogInfo(const char* printerName) const;

    int32_t m_iPrintableWidth = 0;   // HORZRES
    int32_t m_iPrintableHeight = 0;  // VERTRES
    int32_t m_iPageWidth = 0;        // PHYSICALWIDTH
    int32_t m_iPageHeight = 0;       // PHYSICALHEIGHT
    int32_t m_iLeftMargin = 0;       // PHYSICALOFFSETX
    int32_t m_iTopMargin = 0;        // PHYSICALOFFSETY
    int32_t m_iResolutionX = 0;      // LOGPIXELSX
    int32_t m_iResolutionY = 0;      // LOGPIXELSY
};
