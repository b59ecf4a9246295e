#pragma once
#include <cstdint>

class PageStream;

// Reads Ghostscript's page output from a pipe into a PageStream. It always
// reads to the end of the stream, even after the stream has failed, so
// that Ghostscript is never left blocked on a full pipe.
class PageReader {
public:
    static constexpr unsigned kChunkBytes = 4096;

    PageReader(int handle, PageStream& stream);
    virtual ~PageReader() = default;
    PageReader(const PageReader&) = delete;
    PageReader& operator=(const PageReader&) = delete;

    // 0 when every page came through whole, -1 otherwise.
    int32_t Run();

private:
    int m_Handle;
    PageStream& m_Stream;
};
