#include "PageReader.h"

#include <vector>

#include "Log.h"
#include "PageStream.h"
#include "Pipe.h"

PageReader::PageReader(int handle, PageStream& stream) : m_Handle(handle), m_Stream(stream) { }

int32_t PageReader::Run()
{
    Pipe::Widen(m_Handle, kPipeBytes);
    std::vector<uint8_t> buffer(kPipeBytes);
    bool ok = true;
    long got;
    while ((got = Pipe::Read(m_Handle, buffer.data(), buffer.size())) > 0) {
        // After a failure the rest is only drained, so that Ghostscript can end.
        if (ok && !m_Stream.Push(buffer.data(), size_t(got))) ok = false;
    }
    if (got < 0) {
        LOG_LAST_ERROR(2);
        ok = false;
    }
    if (!m_Stream.Finish()) ok = false;
    return ok ? 0 : -1;
}
