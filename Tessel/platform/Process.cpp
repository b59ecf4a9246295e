#include <algorithm>
#include <thread>

#include "Pipe.h"
#include "Process.h"

bool Process::WaitOrEnd(int timeoutMs, int* status)
{
    if (WaitFor(timeoutMs, status)) return true;
    Terminate();
    Wait();
    return false;
}

bool Process::RunForOutput(const char* commandLine, std::string& output, int* status, size_t outputLimit)
{
    output.clear();
    Process child;
    if (!child.CreateChildProcess(commandLine, false, 2, false)) return false;
    // No input: the child sees the end of its input at once.
    CloseHandle(child.m_hChildStdinWrDup);
    // Without our copy of the write end the stream ends with the child's.
    CloseHandle(child.m_hChildStdoutWr);
    // The error stream is drained aside, so a chatty child never blocks on it
    // while we wait for its output.
    std::thread drain([handle = child.m_hChildStderrRdDup] {
        char sink[4096];
        while (Pipe::Read(handle, sink, sizeof sink) > 0) { }
    });
    char buffer[4096];
    long n = 0;
    while ((n = Pipe::Read(child.m_hChildStdoutRdDup, buffer, sizeof buffer)) > 0) {
        const size_t room = outputLimit - std::min(outputLimit, output.size());
        output.append(buffer, std::min(room, static_cast<size_t>(n)));
    }
    const bool waited = child.Wait(status);
    drain.join();
    return waited;
}
