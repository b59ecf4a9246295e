#pragma once
#include <cstdint>

#include "Dib.h"

// One page image held as a packed DIB: one malloc'd block with the 40-byte
// header, the colour table and the pixel rows, in that order. The handle it is
// built from stays the caller's. Linux is never a palette device, so no
// logical palette is made or kept.
//
// A bitmap made with borrowPixels keeps only the header and the colour table
// and reads the pixel rows of the section itself, which must then outlive
// it: a page of 8 MiB and more is not copied on its way to the printer.
class Bitmap {
public:
    // Throws std::runtime_error (after logging) when the handle cannot be loaded.
    explicit Bitmap(HBITMAP hBitmap, bool borrowPixels = false);
    virtual ~Bitmap();
    Bitmap(const Bitmap&) = delete;
    Bitmap& operator=(const Bitmap&) = delete;

    // Converts the bitmap to a 24-bit BI_RGB DIB (used for bitfield sections).
    virtual void LoadDDB(HBITMAP hBitmap);
    // Copies the section unchanged, colour table included.
    virtual void LoadDIBSection(HBITMAP hBitmap);

    void Clear();
    void SetBitmap(HBITMAP hBitmap);

protected:
    BITMAPINFOHEADER* m_pDIB = nullptr;  // the packed block, owned (malloc/free)
    uint8_t* m_pBits = nullptr;          // first stored row: inside m_pDIB, or the section's when borrowed
    int32_t m_iBlackIndex = -1;
    int32_t m_iWhiteIndex = -1;

private:
    bool m_bBorrowPixels = false;
};

// A newly malloc'd copy of a 1/4/8-bit section's colour table (caller frees),
// or null; count receives the entries (0 with null).
RGBQUAD* GetBitmapColorTable(HBITMAP hBitmap, int32_t* count);
// Brightness of a colour as the two searches below compare it: red + green + blue.
int32_t Brightness(const RGBQUAD& c);
// Index of the entry with the highest (red + green + blue) / 3; the first of
// equals wins; -1 when none is brighter than black or the table is empty/null.
int32_t FindBrightestColor(const RGBQUAD* table, int32_t count);
// Index of the darkest entry; the first of equals wins; -1 for an empty/null table.
int32_t FindDarkestColor(const RGBQUAD* table, int32_t count);
