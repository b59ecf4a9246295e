#include "Bitmap.h"

#include <cstdlib>
#include <cstring>

#include "Log.h"
#include "LoggedError.h"

namespace {

// Entries a section's header announces: biClrUsed as a signed 16-bit number,
// or the full table of a depth up to 8 when it is 0.
int32_t AnnouncedColors(const DIBSECTION& ds)
{
    int32_t n = static_cast<int16_t>(ds.dsBmih.biClrUsed);
    if (n == 0 && ds.dsBm.bmBitsPixel <= 8) n = 1 << ds.dsBm.bmBitsPixel;
    return n;
}

// The block sizes below are trusted only after these checks: a BITMAP that
// disagrees with itself is not a bitmap.
bool IsConsistent(const BITMAP& bm)
{
    return bm.bmWidth > 0 && bm.bmHeight > 0 && bm.bmBitsPixel > 0 && bm.bmBitsPixel <= 32 &&
           DibStride(bm.bmWidth, bm.bmBitsPixel) == bm.bmWidthBytes && bm.bmWidthBytes > 0;
}

}  // namespace

int32_t Brightness(const RGBQUAD& c)
{
    return c.rgbRed + c.rgbGreen + c.rgbBlue;
}

Bitmap::Bitmap(HBITMAP hBitmap, bool borrowPixels) : m_bBorrowPixels(borrowPixels)
{
    SetBitmap(hBitmap);
}

Bitmap::~Bitmap()
{
    Clear();
}

void Bitmap::Clear()
{
    std::free(m_pDIB);
    m_pDIB = nullptr;
    m_pBits = nullptr;
}

void Bitmap::SetBitmap(HBITMAP hBitmap)
{
    Clear();
    BITMAP bm{};
    if (GetObjectA(hBitmap, sizeof(bm), &bm) != static_cast<int>(sizeof(bm)) || !IsConsistent(bm))
        THROW_LOGGED("Invalid Bitmap.");
    // Every handle of ours is a DIB section; a bitmap without pixels of its
    // own would need the display's conversion.
    if (bm.bmBits != nullptr)
        LoadDIBSection(hBitmap);
    else
        LoadDDB(hBitmap);
}

void Bitmap::LoadDIBSection(HBITMAP hBitmap)
{
    DIBSECTION ds{};
    if (GetObjectA(hBitmap, sizeof(ds), &ds) != static_cast<int>(sizeof(ds)) || !IsConsistent(ds.dsBm))
        THROW_LOGGED("Invalid DIB section.");
    const int32_t n = AnnouncedColors(ds);
    if ((n != 0 || ds.dsBm.bmBitsPixel > 8) && ds.dsBmih.biCompression != BI_RGB) {
        LoadDDB(hBitmap);
        return;
    }
    if (n < 0 || n > 256) THROW_LOGGED("Invalid DIB section.");

    const auto imageBytes = static_cast<size_t>(ds.dsBm.bmHeight) * static_cast<size_t>(ds.dsBm.bmWidthBytes);
    if (imageBytes > hBitmap->imageBytes) THROW_LOGGED("Invalid DIB section.");
    const size_t tableBytes = sizeof(RGBQUAD) * static_cast<size_t>(n);
    const size_t ownBytes = m_bBorrowPixels ? 0 : imageBytes;
    Clear();
    m_pDIB = static_cast<BITMAPINFOHEADER*>(std::malloc(sizeof(BITMAPINFOHEADER) + tableBytes + ownBytes));
    if (m_pDIB == nullptr) THROW_LOGGED("Error while allocating memory for DIB section.");
    auto* table = reinterpret_cast<RGBQUAD*>(m_pDIB + 1);
    m_pBits = m_bBorrowPixels ? static_cast<uint8_t*>(ds.dsBm.bmBits) : reinterpret_cast<uint8_t*>(table + n);
    *m_pDIB = ds.dsBmih;
    m_iWhiteIndex = -1;
    m_iBlackIndex = -1;
    if (n > 0) {
        // A short table in the section leaves black entries behind it.
        std::memset(table, 0, tableBytes);
        GetDIBColorTable(hBitmap, 0, static_cast<uint32_t>(n), table);
        m_iWhiteIndex = FindBrightestColor(table, n);
        m_iBlackIndex = FindDarkestColor(table, n);
    }
    if (!m_bBorrowPixels) std::memcpy(m_pBits, ds.dsBm.bmBits, imageBytes);
}

void Bitmap::LoadDDB(HBITMAP hBitmap)
{
    BITMAP bm{};
    if (GetObjectA(hBitmap, sizeof(bm), &bm) != static_cast<int>(sizeof(bm)) || !IsConsistent(bm))
        THROW_LOGGED("Invalid Bitmap.");
    const auto stride = static_cast<size_t>(DibStride(bm.bmWidth, 24));
    const size_t imageBytes = stride * static_cast<size_t>(bm.bmHeight);
    if (imageBytes > kMaxDibImageBytes)
        ThrowLoggedError("Error while allocating memory for DBB.", "Error while allocating memory for DDB.", true,
                         BaseFileName(__FILE__), __LINE__);
    Clear();
    m_pDIB = static_cast<BITMAPINFOHEADER*>(std::calloc(1, sizeof(BITMAPINFOHEADER) + imageBytes));
    if (m_pDIB == nullptr)
        ThrowLoggedError("Error while allocating memory for DBB.", "Error while allocating memory for DDB.", true,
                         BaseFileName(__FILE__), __LINE__);
    m_pBits = reinterpret_cast<uint8_t*>(m_pDIB + 1);
    m_pDIB->biSize = sizeof(BITMAPINFOHEADER);
    m_pDIB->biWidth = bm.bmWidth;
    // The conversion keeps the section's storage order, so the sign too.
    m_pDIB->biHeight = hBitmap->ds.dsBmih.biHeight < 0 ? -bm.bmHeight : bm.bmHeight;
    m_pDIB->biPlanes = 1;
    m_pDIB->biBitCount = 24;
    m_pDIB->biCompression = BI_RGB;
    m_iWhiteIndex = -1;
    m_iBlackIndex = -1;
    if (GetDIBitsRgb24(hBitmap, m_pBits, imageBytes) == 0) {
        Clear();
        ThrowLoggedError("Error while getting DDB bits.", "Error while getting DDB bits.", false,
                         BaseFileName(__FILE__), __LINE__);
    }
}

RGBQUAD* GetBitmapColorTable(HBITMAP hBitmap, int32_t* count)
{
    if (count == nullptr) return nullptr;
    *count = 0;
    BITMAP bm{};
    DIBSECTION ds{};
    if (GetObjectA(hBitmap, sizeof(bm), &bm) != static_cast<int>(sizeof(bm)) || bm.bmBits == nullptr ||
        GetObjectA(hBitmap, sizeof(ds), &ds) != static_cast<int>(sizeof(ds)) || bm.bmBitsPixel > 8)
        return nullptr;
    const int32_t n = AnnouncedColors(ds);
    if (n <= 0 || n > 256 || ds.dsBmih.biCompression == BI_BITFIELDS) return nullptr;
    auto* table = static_cast<RGBQUAD*>(std::calloc(static_cast<size_t>(n), sizeof(RGBQUAD)));
    if (table == nullptr) return nullptr;
    *count = n;
    GetDIBColorTable(hBitmap, 0, static_cast<uint32_t>(n), table);
    return table;
}

int32_t FindBrightestColor(const RGBQUAD* table, int32_t count)
{
    int32_t best = 0;
    int32_t index = -1;
    for (int32_t i = 0; table != nullptr && i < count; ++i) {
        if (Brightness(table[i]) > best) {
            best = Brightness(table[i]);
            index = i;
        }
    }
    return index;
}

int32_t FindDarkestColor(const RGBQUAD* table, int32_t count)
{
    int32_t best = 3 * 256;
    int32_t index = -1;
    for (int32_t i = 0; table != nullptr && i < count; ++i) {
        if (Brightness(table[i]) < best) {
            best = Brightness(table[i]);
            index = i;
        }
    }
    return index;
}
