// Any byte stream, cut into chunks anywhere, splits into whole pages of the
// lengths their headers give, or stops; a page never gets more or fewer bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "PageSink.h"
#include "PageStream.h"

namespace {
class CountingSink : public PageSink {
public:
    bool OpenPage(int32_t) override
    {
        if (m_bOpen) std::abort();
        m_bOpen = true;
        return true;
    }
    bool WritePage(const uint8_t*, size_t size) override
    {
        if (!m_bOpen) std::abort();
        m_Bytes += size;
        return m_Bytes <= PageStream::kMaxPageBytes;
    }
    bool ClosePage(bool) override
    {
        if (!m_bOpen) std::abort();
        m_bOpen = false;
        m_Bytes = 0;
        return true;
    }

private:
    bool m_bOpen = false;
    size_t m_Bytes = 0;
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1) return 0;
    // The first byte picks the chunk size and whether BMP pages are split.
    const size_t chunk = (data[0] & 0x3f) + 1;
    CountingSink sink;
    PageStream stream(sink, (data[0] & 0x40) == 0);
    for (size_t at = 1; at < size; at += chunk)
        if (!stream.Push(data + at, at + chunk < size ? chunk : size - at)) break;
    stream.Finish();
    return 0;
}
