#pragma once
#include <cstdint>

class PageStream;

// Reads Ghostscript's page output from a pipe into a PageStream. It always
// reads to the end of the stream, even after the stream has failed, so
// that Ghostscript is never left blocked on a full pipe.
class PageReader {
public:
    // A pipe's default capacity: one read empties a full pipe. With 4096-byte
    // reads a run of large pages took twice as long.
    static constexpr unsigned kChunkBytes = 65536;
    // What the page pipe is widened to and read in: Ghostscript writes its
    // pages in 4 KiB pieces, and in a pipe of the default size each piece
    // woke the reader (some 40,000 wake-ups for 20 pages).
    static constexpr unsigned kPipeBytes = 1024 * 1024;

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
