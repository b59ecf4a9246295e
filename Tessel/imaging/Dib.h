#pragma once
#include <cstddef>
#include <cstdint>

// Device-independent bitmaps as GDI defines them, and the few GDI calls the
// system makes on them. A page arrives as a BMP file; our own reader turns it
// into a DIB section whose handle is a plain pointer, so the MICR locator
// library can receive it unchanged.

constexpr uint32_t BI_RGB = 0;
constexpr uint32_t BI_BITFIELDS = 3;

#pragma pack(push, 1)
struct BITMAPINFOHEADER {
    uint32_t biSize;
    int32_t biWidth;
    int32_t biHeight;  // positive: bottom row stored first; negative: top row first
    uint16_t biPlanes;
    uint16_t biBitCount;
    uint32_t biCompression;
    uint32_t biSizeImage;
    int32_t biXPelsPerMeter;
    int32_t biYPelsPerMeter;
    uint32_t biClrUsed;
    uint32_t biClrImportant;
};

struct RGBQUAD {
    uint8_t rgbBlue;
    uint8_t rgbGreen;
    uint8_t rgbRed;
    uint8_t rgbReserved;
};
#pragma pack(pop)
static_assert(sizeof(BITMAPINFOHEADER) == 40, "BITMAPINFOHEADER is 40 bytes on disk");
static_assert(sizeof(RGBQUAD) == 4, "RGBQUAD is 4 bytes on disk");

struct BITMAP {
    int32_t bmType;  // always 0
    int32_t bmWidth;
    int32_t bmHeight;      // always positive; the header keeps the storage order
    int32_t bmWidthBytes;  // row stride, a multiple of 4
    uint16_t bmPlanes;
    uint16_t bmBitsPixel;
    void* bmBits;  // first stored row
};

struct DIBSECTION {
    BITMAP dsBm;
    BITMAPINFOHEADER dsBmih;  // biSize is always 40 here, whatever the file held
    uint32_t dsBitfields[3];  // red, green, blue masks of BI_BITFIELDS sections
};

// The DIB section object. Pixel rows keep the file's storage order with a
// 4-byte aligned stride; 1/4/8-bit sections carry their colour table, which
// may be shorter than 2^bits (colorCount entries are valid).
struct DibSectionObject {
    DIBSECTION ds;
    uint32_t colorCount;
    RGBQUAD colors[256];
    size_t imageBytes;  // bmHeight x stride bytes at ds.dsBm.bmBits
    size_t capacity;    // pixel bytes the object's block holds (imageBytes or more when reused)
};

using HBITMAP = DibSectionObject*;

// Named limits a section must respect; checked before anything is allocated.
constexpr int32_t kMaxDibDimension = 32767;
constexpr size_t kMaxDibImageBytes = size_t{1} << 30;

// Row stride of a DIB: ((width x bits + 31) & ~31) / 8; 0 when width or bits
// are negative or the stride would not fit in 32 bits.
int64_t DibStride(int32_t width, int32_t bitsPerPixel);

// Stands in for LoadImageA(..., LR_LOADFROMFILE | LR_CREATEDIBSECTION): null
// for a file that is not a valid BMP (the fault is logged; errno is set for
// I/O failures so that LOG_LAST_ERROR reports them).
HBITMAP LoadBitmapFile(const char* path);
// The same into `spare`'s block when it is large enough, so that a stream
// of pages reuses one block; spare is taken over either way (freed when it
// is too small or the file is refused).
HBITMAP LoadBitmapFile(const char* path, HBITMAP spare);
// The same from bytes in memory (the bytes are copied, never kept).
HBITMAP LoadBitmapMemory(const uint8_t* data, size_t size);
// An empty (all zero) section; colors may be null when count is 0. Null for
// sizes or depths a BMP file could not hold. For tests and conversions.
HBITMAP CreateDibSection(int32_t width, int32_t height, uint16_t bitsPerPixel, uint32_t compression,
                         const RGBQUAD* colors, uint32_t colorCount, const uint32_t* bitfields);
// The same in `spare`'s block when it holds enough pixel bytes; its pixels
// are then left as they were, for a reader that writes every one. spare is
// taken over either way.
HBITMAP ReuseDibSection(HBITMAP spare, int32_t width, int32_t height, uint16_t bitsPerPixel, uint32_t compression,
                        const RGBQUAD* colors, uint32_t colorCount, const uint32_t* bitfields);

// Stands in for GetObjectA: copies a BITMAP (size == sizeof(BITMAP)) or a
// DIBSECTION (size >= sizeof(DIBSECTION)) and returns the bytes written, 0 for
// a null handle or any other size.
int GetObjectA(HBITMAP hBitmap, int size, void* out);
// Stands in for GetDIBColorTable: copies up to count entries from start;
// returns how many were copied (never past the section's own table).
uint32_t GetDIBColorTable(HBITMAP hBitmap, uint32_t start, uint32_t count, RGBQUAD* out);
// Stands in for GetDIBits with a 24-bit BI_RGB target: converts every row, in
// the section's storage order, into dst (rows of DibStride(width, 24) bytes).
// Pixel indexes beyond the colour table give black. Returns the rows written,
// 0 when dst is too small or the handle is null.
int32_t GetDIBitsRgb24(HBITMAP hBitmap, uint8_t* dst, size_t dstSize);
// Stands in for DeleteObject on a bitmap; null is accepted.
bool DeleteObject(HBITMAP hBitmap);
// For owning a section with std::unique_ptr.
struct DibDeleter {
    void operator()(DibSectionObject* bitmap) const { DeleteObject(bitmap); }
};
