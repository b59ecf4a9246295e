#include "PageStream.h"

#include <algorithm>

#include "Log.h"
#include "PageSink.h"

namespace {
uint32_t ReadLe32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
}  // namespace

PageStream::PageStream(PageSink& sink, bool splitBmp) : m_Sink(sink), m_bSplitBmp(splitBmp) { }

bool PageStream::Push(const uint8_t* data, size_t size)
{
    if (m_bFailed) return false;
    if (size == 0) return true;
    if (m_bSplitBmp) return PushBmp(data, size);

    // Not a paged format (PDF on stdout): the whole stream is page 1.
    if (!m_bOpen) {
        if (!m_Sink.OpenPage(++m_PageNumber)) return Fail();
        m_bOpen = true;
    }
    if (!m_Sink.WritePage(data, size)) return Fail();
    return true;
}

bool PageStream::PushBmp(const uint8_t* data, size_t size)
{
    while (size > 0) {
        if (!m_bOpen) {
            if (!TakeHeader(data, size)) return Fail();
            if (m_HeaderBytes < kFileHeaderBytes) return true;  // the rest comes with the next chunk
            if (!m_Sink.OpenPage(++m_PageNumber)) return Fail();
            m_bOpen = true;
            m_HeaderBytes = 0;
            if (!m_Sink.WritePage(m_Header, kFileHeaderBytes)) return Fail();
            m_Written = kFileHeaderBytes;
        }
        const size_t take = std::min<size_t>(size, m_PageLength - m_Written);
        if (take > 0 && !m_Sink.WritePage(data, take)) return Fail();
        data += take;
        size -= take;
        if (!Taken(take)) return false;
    }
    return true;
}

// Counts bytes of the open page; its last one hands it on. False when the
// sink could not (the stream has failed then).
bool PageStream::Taken(size_t size)
{
    m_Written += uint32_t(size);
    return m_Written < m_PageLength || Deliver();
}

// Hands the open page on as whole. False when the sink could not (the
// stream has failed then).
bool PageStream::Deliver()
{
    m_bOpen = false;
    if (!m_Sink.ClosePage(true)) {
        m_bFailed = true;
        return false;
    }
    ++m_Delivered;
    return true;
}

size_t PageStream::BodyBytesDue() const
{
    return m_bSplitBmp && m_bOpen && !m_bFailed ? m_PageLength - m_Written : 0;
}

size_t PageStream::HeaderBytesDue() const
{
    return m_bSplitBmp && !m_bOpen && !m_bFailed ? kFileHeaderBytes - m_HeaderBytes : 0;
}

long PageStream::MoveFrom(int pipe, size_t size)
{
    size = std::min(size, BodyBytesDue());
    if (size == 0) return PageSink::kNotMoved;
    const long moved = m_Sink.MovePage(pipe, size);
    if (moved == -1) {
        Fail();
        return -1;
    }
    if (moved > 0 && !Taken(size_t(moved))) return -1;
    return moved;
}

// Gathers the next page's file header and checks it once it is whole.
bool PageStream::TakeHeader(const uint8_t*& data, size_t& size)
{
    const size_t take = std::min(size, kFileHeaderBytes - m_HeaderBytes);
    std::copy(data, data + take, m_Header + m_HeaderBytes);
    m_HeaderBytes += take;
    data += take;
    size -= take;
    if (m_HeaderBytes < kFileHeaderBytes) return true;

    const int32_t page = m_PageNumber + 1;
    if (m_Header[0] != 'B' || m_Header[1] != 'M') {
        LogMessage(2, "Page %d of the Ghostscript output does not start with a BMP file header.\r\n", page);
        return false;
    }
    const uint32_t length = ReadLe32(m_Header + 2);
    if (length < kMinPageBytes || length > kMaxPageBytes) {
        LogMessage(2, "Page %d of the Ghostscript output gives a length of %u bytes, outside %u to %u.\r\n", page,
                   length, kMinPageBytes, kMaxPageBytes);
        return false;
    }
    const uint32_t offBits = ReadLe32(m_Header + 10);
    if (offBits < kFileHeaderBytes || offBits > length) {
        LogMessage(2, "Page %d of the Ghostscript output gives a pixel offset of %u bytes for a length of %u.\r\n",
                   page, offBits, length);
        return false;
    }
    m_PageLength = length;
    return true;
}

bool PageStream::Fail()
{
    m_bFailed = true;
    if (m_bOpen) {
        m_bOpen = false;
        m_Sink.ClosePage(false);
    }
    return false;
}

bool PageStream::Finish()
{
    if (m_bFailed) return false;
    if (m_bOpen && m_bSplitBmp && m_Written < m_PageLength) {
        LogMessage(2, "Page %d of the Ghostscript output is cut short at %u of %u bytes and is dropped.\r\n",
                   m_PageNumber, m_Written, m_PageLength);
        return Fail();
    }
    if (m_bOpen && !Deliver()) return false;
    if (m_HeaderBytes > 0) {
        LogMessage(2, "The Ghostscript output ends inside the header of page %d.\r\n", m_PageNumber + 1);
        m_bFailed = true;
        return false;
    }
    return true;
}
