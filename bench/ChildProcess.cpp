// Costs on the road of a job through Ghostscript: starting a child with its
// three pipes, and feeding it in the 4096-byte chunks of the job feeder.
#include <benchmark/benchmark.h>

#include <string>
#include <thread>

#include "Pipe.h"
#include "Process.h"

static void BM_StartAndWait(benchmark::State& state)
{
    for (auto _ : state) {
        Process child;
        if (!child.CreateChildProcess("/bin/true", false, 2, false) || !child.Wait()) state.SkipWithError("no child");
    }
}
BENCHMARK(BM_StartAndWait)->Unit(benchmark::kMicrosecond);

static void BM_FeedChildInChunks(benchmark::State& state)
{
    Process child;
    if (!child.CreateChildProcess("/bin/cat", false, 2, false)) {
        state.SkipWithError("no child");
        return;
    }
    CloseHandle(child.m_hChildStdoutWr);
    std::thread drain([handle = child.m_hChildStdoutRdDup] {
        char sink[4096];
        while (Pipe::Read(handle, sink, sizeof sink) > 0) { }
    });
    const std::string chunk(4096, 'j');
    for (auto _ : state)
        if (!Pipe::Write(child.m_hChildStdinWrDup, chunk.data(), chunk.size())) state.SkipWithError("write failed");
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(chunk.size()));
    CloseHandle(child.m_hChildStdinWrDup);
    child.Wait();
    drain.join();
}
BENCHMARK(BM_FeedChildInChunks);

BENCHMARK_MAIN();
