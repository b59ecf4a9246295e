#pragma once
#include <cstdint>

#include "Dib.h"

// The page-composition context that stands in for a printer's device
// context. The printer owns the real one; tests derive their own to watch or
// steer the print engine (a context that prints in bands, for example).
struct DOCINFOA {
    int cbSize;
    const char* lpszDocName;
    const char* lpszOutput;
    const char* lpszDatatype;
    uint32_t fwType;
};

constexpr int HORZRES = 8;
constexpr int VERTRES = 10;
constexpr int RASTERCAPS = 38;
constexpr int LOGPIXELSX = 88;
constexpr int LOGPIXELSY = 90;
constexpr int PHYSICALWIDTH = 110;
constexpr int PHYSICALHEIGHT = 111;
constexpr int PHYSICALOFFSETX = 112;
constexpr int PHYSICALOFFSETY = 113;

constexpr int RC_PALETTE = 0x100;
constexpr int RC_STRETCHDIB = 0x2000;

constexpr int NEXTBAND = 3;
constexpr int QUERYESCSUPPORT = 8;

constexpr int SP_ERROR = -1;
constexpr int COLORONCOLOR = 3;
constexpr unsigned DIB_RGB_COLORS = 0;
constexpr uint32_t SRCCOPY = 0xCC0020;

class DeviceContext {
public:
    DeviceContext() = default;
    virtual ~DeviceContext();
    DeviceContext(const DeviceContext&) = delete;
    DeviceContext& operator=(const DeviceContext&) = delete;

    virtual int GetDeviceCaps(int index) const = 0;
    // The document's job id (> 0), or SP_ERROR.
    virtual int StartDoc(const DOCINFOA& info) = 0;
    virtual int StartPage() = 0;
    virtual int EndPage() = 0;
    virtual int EndDoc() = 0;
    virtual int AbortDoc() = 0;
    // Escapes this context understands; 0 for all others (no banding).
    virtual int Escape(int escape, int inSize, const void* in, void* out);
    virtual int SetStretchBltMode(int mode);
    // Places the source part of a packed DIB (header, colour table, rows) at
    // the destination rectangle, in device pixels of the printable area. The
    // source's y counts rows from the bottom, as for a bottom-up DIB. Returns
    // the source rows drawn, 0 on failure.
    virtual int StretchDIBits(int xDest, int yDest, int destWidth, int destHeight, int xSrc, int ySrc, int srcWidth,
                              int srcHeight, const void* bits, const BITMAPINFOHEADER* info, unsigned usage,
                              uint32_t rop) = 0;

private:
    int m_iStretchMode = COLORONCOLOR;
};

using HDC = DeviceContext*;

// The GDI calls by their own names; each accepts a null context and fails.
int GetDeviceCaps(HDC hdc, int index);
int StartDocA(HDC hdc, const DOCINFOA* info);
int StartPage(HDC hdc);
int EndPage(HDC hdc);
int EndDoc(HDC hdc);
int AbortDoc(HDC hdc);
int Escape(HDC hdc, int escape, int inSize, const void* in, void* out);
int SetStretchBltMode(HDC hdc, int mode);
int StretchDIBits(HDC hdc, int xDest, int yDest, int destWidth, int destHeight, int xSrc, int ySrc, int srcWidth,
                  int srcHeight, const void* bits, const BITMAPINFOHEADER* info, unsigned usage, uint32_t rop);
