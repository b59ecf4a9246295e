#pragma once
#include <cstddef>

// Byte I/O on the pipe handles of a Process, for the threads that feed a
// child and drain its output.
//
// Broken pipes: Write never lets SIGPIPE end the program. It blocks SIGPIPE
// for the calling thread while it writes and swallows the signal that a
// write to a pipe without reader raises, so the caller just sees false with
// errno EPIPE. No process-wide signal setting is needed, and none is changed.
class Pipe {
public:
    // Reads up to size bytes, retrying when a signal interrupts. Returns the
    // number read, 0 at the end of the stream, -1 on error (errno kept).
    static long Read(int handle, void* buffer, size_t size);
    // Writes every byte, retrying interrupted and partial writes. False on
    // error (errno kept), including a reader that has gone (EPIPE).
    static bool Write(int handle, const void* data, size_t size);
    // Asks the system to let the pipe hold `bytes` (it may give less, or
    // keep its size). A writer that fills a small pipe in small pieces
    // wakes its reader for each; a wide one is read in large pieces.
    // Returns the capacity the pipe has afterwards, -1 on error.
    static long Widen(int handle, size_t bytes);
};
