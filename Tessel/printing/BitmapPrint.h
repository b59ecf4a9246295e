#pragma once
#include <cstdint>

#include "Bitmap.h"
#include "DeviceContext.h"
#include "Rect.h"

enum ScaleMode : int32_t {
    BP_SCALE_HORZ = 0,
    BP_SCALE_VERT = 1,
    BP_SCALE_PAGE = 2,
    BP_SCALE_CUSTOM = 3,
    BP_SCALE_NONE = 4,
    BP_SCALE_FIT = 5,  // as large as the printable area allows, proportions kept, centred
};

// Prints one page bitmap on one page of a printer, placed by a scale mode,
// with StretchDIBits (in strips on a device that prints in bands).
class BitmapPrint : public Bitmap {
public:
    // Highest number of bands taken from one page, so that a device that
    // never ends its bands cannot hold the job for ever.
    static constexpr int32_t kMaxBands = 65536;
    static constexpr int32_t kMaxStripHeight = 75;

    // With borrowPixels the section's rows are printed in place (see Bitmap).
    explicit BitmapPrint(HBITMAP hBitmap, bool borrowPixels = false);
    ~BitmapPrint() override;

    void SetSourceRect(const RECT& rect) { m_SPrint = rect; }
    // Prints the page into the open document m_iJobId, or into a document of
    // its own when that is 0; returns the job id, or 0 or less when no page
    // was printed (no document, or the page could not be started or ended).
    int32_t Print(HDC hdc, const char* documentName, int32_t scaleMode);
    virtual void CalcTargetRect(HDC hdc, int32_t scaleMode);
    virtual bool MapBandToImage(RECT& strip, RECT& source);
    virtual void PrintBitmap(HDC hdc, uint32_t rop, bool allowBanding);

    RECT m_SPrint = {0, 0, 0, 0};
    RECT m_RPrint = {0, 0, 0, 0};
    int32_t m_iResolution = 300;
    int32_t m_iJobId = 0;

private:
    int32_t BitmapHeight() const;
};
