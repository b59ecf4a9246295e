#pragma once
#include <cstddef>
#include <cstdint>

#include "Dib.h"
#include "TextBuffer.h"

// Checks the headers of a BMP file before anything is allocated: every size,
// offset and count is validated against the named limits and the data at hand,
// and a refusal logs the exact fault with its values.
class BmpReader {
public:
    // Bytes of the file's start that hold every header, mask and colour table.
    static constexpr size_t kMaxHeadBytes = 14 + 124 + 12 + 256 * 4;

    // source names the data in log lines (a path, or "memory").
    explicit BmpReader(const char* source) : m_pSource(source) { }

    // head holds the first headSize bytes of a file of totalSize bytes.
    bool ParseHeaders(const uint8_t* head, size_t headSize, uint64_t totalSize);
    // An empty section shaped by the parsed headers; null when out of memory.
    // In spare's block when it is large enough (see ReuseDibSection).
    HBITMAP CreateSection(HBITMAP spare = nullptr) const;

    uint64_t GetPixelOffset() const { return m_uPixelOffset; }
    size_t GetImageBytes() const { return m_uImageBytes; }

private:
    bool Refuse(const char* format, ...) const TESSEL_PRINTF(2, 3);

    const char* m_pSource;
    int32_t m_iWidth = 0;
    int32_t m_iHeight = 0;  // signed as stored: negative for top-down rows
    uint16_t m_uBits = 0;
    uint32_t m_uCompression = BI_RGB;
    uint32_t m_uBitfields[3] = {};
    RGBQUAD m_Colors[256] = {};
    uint32_t m_uColorCount = 0;
    uint64_t m_uPixelOffset = 0;
    size_t m_uImageBytes = 0;
};
