#pragma once
#include "TextBuffer.h"

// Ghostscript writes its page stream through its C library's standard
// output, in pieces of the pipe's block size (4 KiB): some 40,000 writes for
// a 20-page job, each one waking the reader. Started through the system's
// stdbuf, it writes in pieces of kBufferBytes instead; that took a
// third off its time on a pipe. Without stdbuf it is started as it is.
class OutputBuffering {
public:
    static constexpr unsigned kBufferBytes = 1024 * 1024;

    // The command line that starts `commandLine` with a standard output
    // buffer of kBufferBytes, or `commandLine` itself when that cannot be.
    static TextBuffer Wrap(const char* commandLine);
};
