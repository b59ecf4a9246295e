#include "DeviceContext.h"

DeviceContext::~DeviceContext() = default;

int DeviceContext::Escape(int, int, const void*, void*)
{
    return 0;
}

int DeviceContext::SetStretchBltMode(int mode)
{
    const int old = m_iStretchMode;
    m_iStretchMode = mode;
    return old;
}

int GetDeviceCaps(HDC hdc, int index)
{
    return hdc ? hdc->GetDeviceCaps(index) : 0;
}

int StartDocA(HDC hdc, const DOCINFOA* info)
{
    return hdc && info ? hdc->StartDoc(*info) : SP_ERROR;
}

int StartPage(HDC hdc)
{
    return hdc ? hdc->StartPage() : SP_ERROR;
}

int EndPage(HDC hdc)
{
    return hdc ? hdc->EndPage() : SP_ERROR;
}

int EndDoc(HDC hdc)
{
    return hdc ? hdc->EndDoc() : SP_ERROR;
}

int AbortDoc(HDC hdc)
{
    return hdc ? hdc->AbortDoc() : SP_ERROR;
}

int Escape(HDC hdc, int escape, int inSize, const void* in, void* out)
{
    return hdc ? hdc->Escape(escape, inSize, in, out) : 0;
}

int SetStretchBltMode(HDC hdc, int mode)
{
    return hdc ? hdc->SetStretchBltMode(mode) : 0;
}

int StretchDIBits(HDC hdc, int xDest, int yDest, int destWidth, int destHeight, int xSrc, int ySrc, int srcWidth,
                  int srcHeight, const void* bits, const BITMAPINFOHEADER* info, unsigned usage, uint32_t rop)
{
    if (!hdc) return 0;
    return hdc->StretchDIBits(xDest, yDest, destWidth, destHeight, xSrc, ySrc, srcWidth, srcHeight, bits, info, usage,
                              rop);
}
