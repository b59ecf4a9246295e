#pragma once
#include <cstddef>

// Where a print document's bytes go: a spooler job or a local job file.
// Nothing becomes visible to the printer or a reader before Finish.
class PrintSink {
public:
    virtual ~PrintSink() = default;
    virtual bool Write(const unsigned char* data, size_t size) = 0;
    // Completes the job; false when it could not be delivered.
    virtual bool Finish() = 0;
    // Drops the job and whatever was written.
    virtual void Abort() = 0;
};
