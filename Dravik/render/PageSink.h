#pragma once
#include <cstddef>
#include <cstdint>

// Where the pages cut from Ghostscript's output stream go, one at a time.
class PageSink {
public:
    virtual ~PageSink() = default;
    // Starts page number (from 1). False stops the stream.
    virtual bool OpenPage(int32_t number) = 0;
    // Appends bytes to the open page. False stops the stream.
    virtual bool WritePage(const uint8_t* data, size_t size) = 0;
    // What MovePage gives when the bytes must come through WritePage instead.
    static constexpr long kNotMoved = -2;
    // Appends up to size bytes taken straight from a pipe to the open page,
    // sparing a copy through the reader. The number moved, 0 at the pipe's
    // end, -1 when the page could not be written (the stream stops), or
    // kNotMoved with nothing taken.
    virtual long MovePage(int /*pipe*/, size_t /*size*/) { return kNotMoved; }
    // Ends the open page: complete pages are handed on, incomplete ones
    // dropped. False when a complete page could not be handed on: the
    // stream stops.
    virtual bool ClosePage(bool complete) = 0;
};
