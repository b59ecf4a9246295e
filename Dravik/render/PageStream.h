#pragma once
#include <cstddef>
#include <cstdint>

class PageSink;

// Cuts Ghostscript's output stream into pages. A BMP stream is cut at the
// length that each page's own file header gives, so pages of different sizes
// come out whole; any other stream is one page. Chunks may end anywhere, even
// inside a header.
class PageStream {
public:
    // Largest page we accept from a header: far above a Legal page at
    // 600 dpi in 24-bit colour (about 100 MiB).
    static constexpr uint32_t kMaxPageBytes = 512u * 1024u * 1024u;
    // BITMAPFILEHEADER plus the smallest info header that carries a size.
    static constexpr uint32_t kMinPageBytes = 54;
    static constexpr size_t kFileHeaderBytes = 14;

    PageStream(PageSink& sink, bool splitBmp);
    PageStream(const PageStream&) = delete;
    PageStream& operator=(const PageStream&) = delete;

    // Takes the next chunk. False when the stream is bad or the sink failed;
    // after that the stream takes nothing more.
    bool Push(const uint8_t* data, size_t size);
    // Bytes of the open BMP page still to come: the reader may move them
    // straight into the sink with MoveFrom. 0 when a header is due (or the
    // stream is not cut into pages, or has failed).
    size_t BodyBytesDue() const;
    // Bytes of the next BMP page's file header still to come, 0 while a page
    // is open: reading no more than these keeps the body for MoveFrom.
    size_t HeaderBytesDue() const;
    // Moves up to size bytes of the open page (at most BodyBytesDue) from the
    // pipe into the sink. As PageSink::MovePage; -1 fails the stream.
    long MoveFrom(int pipe, size_t size);
    // End of stream: hands on the last page when it is complete and drops one
    // cut short. False when a page was cut short or the stream had failed.
    bool Finish();

    int32_t PagesDelivered() const { return m_Delivered; }

private:
    bool PushBmp(const uint8_t* data, size_t size);
    bool Taken(size_t size);
    bool Deliver();
    bool TakeHeader(const uint8_t*& data, size_t& size);
    bool Fail();

    PageSink& m_Sink;
    const bool m_bSplitBmp;
    bool m_bFailed = false;
    bool m_bOpen = false;
    int32_t m_PageNumber = 0;
    int32_t m_Delivered = 0;
    uint32_t m_PageLength = 0;
    uint32_t m_Written = 0;
    // The file header of the next page, gathered across chunks.
    uint8_t m_Header[kFileHeaderBytes] = {};
    size_t m_HeaderBytes = 0;
};
