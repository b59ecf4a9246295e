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
    // Ends the open page: complete pages are handed on, incomplete ones dropped.
    virtual void ClosePage(bool complete) = 0;
};
