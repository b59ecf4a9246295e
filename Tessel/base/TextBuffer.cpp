#include "TextBuffer.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <strings.h>
#include <utility>

namespace {
[[noreturn]] void ThrowNoMemory()
{
    throw std::runtime_error("Memory Allocation Failed.");
}

int ClampedLength(size_t n)
{
    // Texts longer than an int can hold are not representable; treat as no memory.
    if (n >= static_cast<size_t>(0x7fffffff)) ThrowNoMemory();
    return static_cast<int>(n);
}
}  // namespace

TextBuffer::TextBuffer(const char* s)
{
    Assign(s);
}

TextBuffer::TextBuffer(const TextBuffer& a, const TextBuffer& b)
{
    if (!a.m_pText && !b.m_pText) return;
    const int length = ClampedLength(static_cast<size_t>(a.m_iLength) + static_cast<size_t>(b.m_iLength));
    char* block = static_cast<char*>(std::malloc(static_cast<size_t>(length) + 1));
    if (!block) ThrowNoMemory();
    if (a.m_iLength) std::memcpy(block, a.m_pText, static_cast<size_t>(a.m_iLength));
    if (b.m_iLength) std::memcpy(block + a.m_iLength, b.m_pText, static_cast<size_t>(b.m_iLength));
    block[length] = '\0';
    m_pText = block;
    m_iLength = length;
    m_iCapacity = length + 1;
}

TextBuffer::TextBuffer(const TextBuffer& other)
{
    Assign(other);
}

TextBuffer::TextBuffer(TextBuffer&& other) noexcept
    : m_pText(std::exchange(other.m_pText, nullptr)), m_iLength(std::exchange(other.m_iLength, 0)),
      m_iCapacity(std::exchange(other.m_iCapacity, 0))
{ }

TextBuffer& TextBuffer::operator=(const TextBuffer& other)
{
    if (this != &other) Assign(other);
    return *this;
}

TextBuffer& TextBuffer::operator=(TextBuffer&& other) noexcept
{
    if (this != &other) {
        Free();
        m_pText = std::exchange(other.m_pText, nullptr);
        m_iLength = std::exchange(other.m_iLength, 0);
        m_iCapacity = std::exchange(other.m_iCapacity, 0);
    }
    return *this;
}

TextBuffer::~TextBuffer()
{
    Free();
}

void TextBuffer::Free()
{
    std::free(m_pText);
    m_pText = nullptr;
    m_iLength = 0;
    m_iCapacity = 0;
}

void TextBuffer::Assign(const char* s)
{
    if (!s) {
        Free();
        return;
    }
    // Copy before freeing: `s` may point into our own text.
    const int length = ClampedLength(std::strlen(s));
    char* block = static_cast<char*>(std::malloc(static_cast<size_t>(length) + 1));
    if (!block) ThrowNoMemory();
    std::memcpy(block, s, static_cast<size_t>(length) + 1);
    Free();
    m_pText = block;
    m_iLength = length;
    m_iCapacity = length + 1;
}

void TextBuffer::Assign(const TextBuffer& other)
{
    if (this == &other) return;
    Assign(other.m_pText);
}

void TextBuffer::Append(const char* s)
{
    if (!s || !*s) return;
    const int extra = ClampedLength(std::strlen(s));
    const int length = ClampedLength(static_cast<size_t>(m_iLength) + static_cast<size_t>(extra));
    // `s` may point into our own text, which realloc can move.
    const std::less_equal<const char*> notAfter;
    const bool own = m_pText && notAfter(m_pText, s) && notAfter(s, m_pText + m_iLength);
    const size_t offset = own ? static_cast<size_t>(s - m_pText) : 0;
    // On failure the old text stays in place.
    char* block = static_cast<char*>(std::realloc(m_pText, static_cast<size_t>(length) + 1));
    if (!block) ThrowNoMemory();
    if (own) s = block + offset;
    std::memmove(block + m_iLength, s, static_cast<size_t>(extra));
    block[length] = '\0';
    m_pText = block;
    m_iLength = length;
    m_iCapacity = length + 1;
}

void TextBuffer::Format(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    try {
        FormatV(format, args);
    } catch (...) {
        va_end(args);
        throw;
    }
    va_end(args);
}

void TextBuffer::FormatV(const char* format, va_list args)
{
    Free();
    if (!format) return;
    // One measuring pass, then the block grows in the documented 512-byte
    // steps to the first size that holds the text (or to the 64 KiB ceiling).
    va_list measure;
    va_copy(measure, args);
    const int needed = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    if (needed < 0) ThrowNoMemory();
    // Rounded up only below the ceiling, so a huge measure cannot overflow.
    const int size = needed < kFormatLimit ? (needed / kFormatStep + 1) * kFormatStep : kFormatLimit;
    char* block = static_cast<char*>(std::malloc(static_cast<size_t>(size)));
    if (!block) ThrowNoMemory();
    va_list pass;
    va_copy(pass, args);
    std::vsnprintf(block, static_cast<size_t>(size), format, pass);
    va_end(pass);
    const int length = needed < size ? needed : size - 1;
    block[length] = '\0';
    if (length + 1 < size) {
        char* shrunk = static_cast<char*>(std::realloc(block, static_cast<size_t>(length) + 1));
        if (shrunk) block = shrunk;
    }
    m_pText = block;
    m_iLength = length;
    m_iCapacity = length + 1;
}

int TextBuffer::Compare(const TextBuffer& other, bool ignoreCase) const
{
    if (!m_pText) return other.m_pText ? -1 : 0;
    if (!other.m_pText) return 1;
    return ignoreCase ? strcasecmp(m_pText, other.m_pText) : std::strcmp(m_pText, other.m_pText);
}
