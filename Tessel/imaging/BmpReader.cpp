#include "BmpReader.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>

#include "Log.h"

namespace {

constexpr size_t kFileHeaderBytes = 14;
constexpr size_t kInfoHeaderBytes = 40;

uint16_t Read16(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

uint32_t Read32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

// Info header sizes with the BITMAPINFOHEADER fields first: 40 and the
// extended forms that add masks (52, 56), colour space (108) and profile (124).
bool IsKnownHeaderSize(uint32_t size)
{
    return size == 40 || size == 52 || size == 56 || size == 108 || size == 124;
}

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

}  // namespace

bool BmpReader::Refuse(const char* format, ...) const
{
    char text[160];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof(text), format, args);
    va_end(args);
    LogMessage(2, "Invalid BMP %s: %s.\r\n", m_pSource, text);
    return false;
}

bool BmpReader::ParseHeaders(const uint8_t* head, size_t headSize, uint64_t totalSize)
{
    if (headSize > totalSize) headSize = static_cast<size_t>(totalSize);
    if (head == nullptr || headSize < kFileHeaderBytes + kInfoHeaderBytes)
        return Refuse("truncated header, %zu bytes", headSize);
    if (head[0] != 'B' || head[1] != 'M') return Refuse("no BM signature");
    m_uPixelOffset = Read32(head + 10);

    const uint8_t* info = head + kFileHeaderBytes;
    const uint32_t infoSize = Read32(info);
    if (!IsKnownHeaderSize(infoSize)) return Refuse("unsupported info header size %u", infoSize);
    if (kFileHeaderBytes + infoSize > headSize)
        return Refuse("truncated header, %zu bytes of %zu", headSize, kFileHeaderBytes + infoSize);

    m_iWidth = static_cast<int32_t>(Read32(info + 4));
    m_iHeight = static_cast<int32_t>(Read32(info + 8));
    const uint16_t planes = Read16(info + 12);
    m_uBits = Read16(info + 14);
    m_uCompression = Read32(info + 16);
    const uint32_t clrUsed = Read32(info + 32);

    if (m_iWidth <= 0 || m_iWidth > kMaxDibDimension)
        return Refuse("width %d outside 1 to %d", m_iWidth, kMaxDibDimension);
    if (m_iHeight == 0 || m_iHeight < -kMaxDibDimension || m_iHeight > kMaxDibDimension)
        return Refuse("height %d outside 1 to %d (either sign)", m_iHeight, kMaxDibDimension);
    if (planes != 1) return Refuse("%u planes instead of 1", planes);
    if (m_uBits != 1 && m_uBits != 4 && m_uBits != 8 && m_uBits != 16 && m_uBits != 24 && m_uBits != 32)
        return Refuse("unsupported bit count %u", m_uBits);
    const bool bitfields = m_uCompression == BI_BITFIELDS;
    if (m_uCompression != BI_RGB && !(bitfields && (m_uBits == 16 || m_uBits == 32)))
        return Refuse("unsupported compression %u at %u bits per pixel", m_uCompression, m_uBits);

    // Masks follow a 40-byte header; the longer headers hold them inside.
    size_t tableStart = kFileHeaderBytes + infoSize;
    if (bitfields) {
        const uint8_t* masks = info + kInfoHeaderBytes;
        if (infoSize == kInfoHeaderBytes) {
            tableStart += 12;
            if (tableStart > headSize) return Refuse("truncated colour masks");
        }
        for (int i = 0; i < 3; ++i) m_uBitfields[i] = Read32(masks + 4 * i);
    }

    if (clrUsed > 256) return Refuse("colour table of %u entries, more than 256", clrUsed);
    if (m_uBits <= 8) {
        const uint32_t full = 1u << m_uBits;
        if (clrUsed > full) return Refuse("colour table of %u entries for %u bits per pixel", clrUsed, m_uBits);
        m_uColorCount = clrUsed == 0 ? full : clrUsed;
        const size_t tableEnd = tableStart + m_uColorCount * sizeof(RGBQUAD);
        if (tableEnd > headSize || tableEnd > m_uPixelOffset)
            return Refuse("colour table of %u entries ends at %zu, past the data or the pixel offset %llu",
                          m_uColorCount, tableEnd, static_cast<unsigned long long>(m_uPixelOffset));
        std::memcpy(m_Colors, head + tableStart, m_uColorCount * sizeof(RGBQUAD));
    } else if (tableStart > m_uPixelOffset) {
        return Refuse("pixel offset %llu inside the headers ending at %zu",
                      static_cast<unsigned long long>(m_uPixelOffset), tableStart);
    }

    const auto stride = static_cast<uint64_t>(DibStride(m_iWidth, m_uBits));
    const uint64_t rows = m_iHeight < 0 ? -static_cast<int64_t>(m_iHeight) : m_iHeight;
    const uint64_t imageBytes = stride * rows;
    if (imageBytes > kMaxDibImageBytes)
        return Refuse("image of %d x %llu pixels at %u bits needs %llu bytes, above the limit of %zu", m_iWidth,
                      static_cast<unsigned long long>(rows), m_uBits, static_cast<unsigned long long>(imageBytes),
                      kMaxDibImageBytes);
    if (m_uPixelOffset > totalSize)
        return Refuse("pixel offset %llu past the end of the data (%llu bytes)",
                      static_cast<unsigned long long>(m_uPixelOffset), static_cast<unsigned long long>(totalSize));
    if (imageBytes > totalSize - m_uPixelOffset)
        return Refuse("pixel data truncated: %llu bytes needed, %llu present",
                      static_cast<unsigned long long>(imageBytes),
                      static_cast<unsigned long long>(totalSize - m_uPixelOffset));
    m_uImageBytes = static_cast<size_t>(imageBytes);
    return true;
}

HBITMAP BmpReader::CreateSection(HBITMAP spare) const
{
    return ReuseDibSection(spare, m_iWidth, m_iHeight, m_uBits, m_uCompression, m_Colors, m_uColorCount, m_uBitfields);
}

HBITMAP LoadBitmapMemory(const uint8_t* data, size_t size)
{
    BmpReader reader("memory");
    if (!reader.ParseHeaders(data, size < BmpReader::kMaxHeadBytes ? size : BmpReader::kMaxHeadBytes, size))
        return nullptr;
    HBITMAP dib = reader.CreateSection();
    if (dib == nullptr) {
        LogMessage(2, "Invalid BMP memory: no memory for %zu bytes of pixels.\r\n", reader.GetImageBytes());
        return nullptr;
    }
    std::memcpy(dib->ds.dsBm.bmBits, data + reader.GetPixelOffset(), reader.GetImageBytes());
    return dib;
}

HBITMAP LoadBitmapFile(const char* path)
{
    return LoadBitmapFile(path, nullptr);
}

HBITMAP LoadBitmapFile(const char* path, HBITMAP spare)
{
    std::unique_ptr<DibSectionObject, DibDeleter> owned(spare);
    if (path == nullptr) {
        errno = EINVAL;
        return nullptr;
    }
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path, "rb"));
    if (!file) return nullptr;
    if (std::fseek(file.get(), 0, SEEK_END) != 0) return nullptr;
    const long end = std::ftell(file.get());
    if (end < 0 || std::fseek(file.get(), 0, SEEK_SET) != 0) return nullptr;
    const auto total = static_cast<uint64_t>(end);

    uint8_t head[BmpReader::kMaxHeadBytes];
    const size_t got = std::fread(head, 1, sizeof(head), file.get());
    BmpReader reader(path);
    if (!reader.ParseHeaders(head, got, total)) {
        errno = EINVAL;
        return nullptr;
    }
    HBITMAP dib = reader.CreateSection(owned.release());
    if (dib == nullptr) {
        errno = ENOMEM;
        return nullptr;
    }
    // The file may shrink between the size check and this read: a short read is a refusal too.
    const size_t want = reader.GetImageBytes();
    errno = 0;
    if (std::fseek(file.get(), static_cast<long>(reader.GetPixelOffset()), SEEK_SET) != 0 ||
        std::fread(dib->ds.dsBm.bmBits, 1, want, file.get()) != want) {
        if (errno == 0) {
            LogMessage(2, "Invalid BMP %s: pixel data truncated while reading.\r\n", path);
            errno = EIO;
        }
        DeleteObject(dib);
        return nullptr;
    }
    return dib;
}
