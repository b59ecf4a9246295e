#include "PageReader.h"

#include <memory>

#include "Log.h"
#include "PageSink.h"
#include "PageStream.h"
#include "Pipe.h"

PageReader::PageReader(int handle, PageStream& stream) : m_Handle(handle), m_Stream(stream) { }

int32_t PageReader::Run()
{
    Pipe::Widen(m_Handle, kPipeBytes);
    // Left uninitialised: while page bodies are moved, only headers land here.
    const auto buffer = std::make_unique_for_overwrite<uint8_t[]>(kPipeBytes);
    bool ok = true;
    bool move = true;
    while (true) {
        // A page's body goes from the pipe to its file without passing through
        // here; only its header is read, so that the stream can check it.
        const size_t body = ok && move ? m_Stream.BodyBytesDue() : 0;
        if (body > 0) {
            const long moved = m_Stream.MoveFrom(m_Handle, body);
            if (moved == 0) break;
            if (moved == PageSink::kNotMoved) move = false;
            if (moved == -1) ok = false;
            continue;
        }
        const size_t header = ok && move ? m_Stream.HeaderBytesDue() : 0;
        const long got = Pipe::Read(m_Handle, buffer.get(), header > 0 ? header : kPipeBytes);
        if (got == 0) break;
        if (got < 0) {
            LOG_LAST_ERROR(2);
            ok = false;
            break;
        }
        // After a failure the rest is only drained, so that Ghostscript can end.
        if (ok && !m_Stream.Push(buffer.get(), size_t(got))) ok = false;
    }
    if (!m_Stream.Finish()) ok = false;
    return ok ? 0 : -1;
}
