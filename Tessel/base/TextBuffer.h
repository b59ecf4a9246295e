#pragma once
#include <cstdarg>

#if defined(__GNUC__)
#define TESSEL_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define TESSEL_PRINTF(fmt, args)
#endif

// Heap text that distinguishes "no result" (null) from the empty text.
// Formatting grows in 512-byte steps and stops at 65535 characters.
class TextBuffer {
public:
    static constexpr int kFormatStep = 512;
    static constexpr int kFormatLimit = 65536;

    TextBuffer() = default;
    TextBuffer(const char* s);  // NOLINT: implicit on purpose, texts pass freely
    TextBuffer(const TextBuffer& a, const TextBuffer& b);
    TextBuffer(const TextBuffer& other);
    TextBuffer(TextBuffer&& other) noexcept;
    TextBuffer& operator=(const TextBuffer& other);
    TextBuffer& operator=(TextBuffer&& other) noexcept;
    virtual ~TextBuffer();

    void Assign(const char* s);
    void Assign(const TextBuffer& other);
    void Append(const char* s);
    void Format(const char* format, ...) TESSEL_PRINTF(2, 3);
    void FormatV(const char* format, va_list args) TESSEL_PRINTF(2, 0);
    int Compare(const TextBuffer& other, bool ignoreCase) const;
    const char* GetText() const { return m_pText; }
    int GetLength() const { return m_iLength; }
    int GetCapacity() const { return m_iCapacity; }
    void Free();

private:
    char* m_pText = nullptr;
    int m_iLength = 0;
    int m_iCapacity = 0;
};
