#include <atomic>
#include <chrono>
#include <cstring>
#include <future>
#include <string>
#include <thread>

#include "FileSearch.h"
#include "GhostScript.h"
#include "Log.h"
#include "OutputBuffering.h"
#include "PageFiles.h"
#include "PageQueue.h"
#include "PageReader.h"
#include "PageStream.h"
#include "Pipe.h"
#include "Process.h"
#include "StopSignals.h"

namespace {

// How long Run waits, once Ghostscript has ended, for the feeder to notice.
// A feeder still blocked on our own standard input after that is left to
// finish on its own; it owns its pipe end and closes it itself.
constexpr auto kFeederGrace = std::chrono::seconds(5);
// Longest line of Ghostscript's messages that goes to the log in one entry.
constexpr size_t kMaxMessageLine = 1024;
// How often the run looks for the end, a stop and output while Ghostscript runs.
constexpr int kWatchMs = 250;

void LogMessageLine(std::string& line)
{
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) LogMessage(0, "[GhostScript] %s\r\n", line.c_str());
    line.clear();
}

// Reads a text stream of Ghostscript's to its end so that it never blocks on
// a full pipe; the text goes to the log only when tracing.
void DrainMessages(int handle, std::atomic<uint64_t>& received)
{
    char buffer[PageReader::kChunkBytes];
    std::string line;
    long got;
    while ((got = Pipe::Read(handle, buffer, sizeof buffer)) > 0) {
        received += static_cast<uint64_t>(got);
        if (gLogLevel > 0) continue;
        for (long i = 0; i < got; ++i) {
            if (buffer[i] == '\n' || line.size() >= kMaxMessageLine) LogMessageLine(line);
            if (buffer[i] != '\n' && buffer[i] != '\0') line += buffer[i];
        }
    }
    if (gLogLevel == 0) LogMessageLine(line);
}

// Copies this program's standard input to Ghostscript's, then closes the
// pipe end it was given (it alone owns it).
void FeedInput(int handle)
{
    char buffer[PageReader::kChunkBytes];
    long got;
    while ((got = Pipe::Read(0, buffer, sizeof buffer)) > 0)
        if (!Pipe::Write(handle, buffer, size_t(got))) break;
    CloseHandle(handle);
}

void ReadPages(const GhostScript& gs, int handle, RunOutcome& outcome)
{
    PageQueue pages(gs.m_pCallback, gs.m_pPrepare);
    PageFiles files(gs.GSDataDir, gs.GSOutputFile, [&pages](const char* name) { pages.Post(name); });
    PageStream stream(files, std::strncmp(gs.GSDevice, "bmp", 3) == 0);
    outcome.streamWhole = PageReader(handle, stream).Run() == 0;
    outcome.pagesDelivered = stream.PagesDelivered();
    pages.Finish();
}

// Waits for Ghostscript's end. Output (messages, or files growing in the
// data folder, where pages, output files and Ghostscript's own temporary
// files go) keeps it alive; a stop, a cancel or too long a silence ends it.
void Watch(GhostScript& gs, Process& child, const std::atomic<uint64_t>& messages, RunOutcome& outcome)
{
    using Clock = std::chrono::steady_clock;
    auto lastOutput = Clock::now();
    uint64_t seenMessages = messages;
    unsigned long long seenFolder = FolderState(gs.GSDataDir);
    bool ended = false;
    while (!child.WaitFor(kWatchMs, &outcome.exitStatus)) {
        if (ended) continue;
        if (StopSignals::Received() != 0 || gs.m_bCancel) {
            outcome.cancelled = ended = true;
            child.Terminate();
            continue;
        }
        const unsigned long long folder = FolderState(gs.GSDataDir);
        if (messages != seenMessages || folder != seenFolder) {
            seenMessages = messages;
            seenFolder = folder;
            lastOutput = Clock::now();
        } else if (gs.GSJobTimeout > 0 && Clock::now() - lastOutput >= std::chrono::seconds(gs.GSJobTimeout)) {
            LogMessage(2, "Ghostscript gave no output for %d seconds and is ended.\r\n", gs.GSJobTimeout);
            outcome.timedOut = ended = true;
            child.Terminate();
        }
    }
}

}  // namespace

RunOutcome GhostScript::Run(PageCallback callback, PageCallback prepare)
{
    RunOutcome outcome;
    m_pCallback = callback;
    m_pPrepare = prepare;
    TextBuffer commandLine;
    if (!WriteOptionFile(GSDataDir, commandLine)) return outcome;

    m_pProcess.reset();
    m_pProcess = std::make_unique<Process>();
    m_pProcess->BindToParent();
    // -dSAFER still lets a job write temporary files: only into our own folder.
    for (const char* name : {"TMPDIR", "TEMP", "TMP"}) m_pProcess->SetVariable(name, GSDataDir);
    m_pProcess->PreferHugePages();
    const TextBuffer launch =
        GSOutputMethod == STDOUT ? OutputBuffering::Wrap(commandLine.GetText()) : TextBuffer(commandLine);
    if (!m_pProcess->CreateChildProcess(launch.GetText(), false, 2, true)) {
        LogMessage(2, "Could not launch %s\r\n", commandLine.GetText());
        m_pProcess.reset();
        return outcome;
    }
    outcome.launched = true;
    Process& child = *m_pProcess;
    // The child's own ends are of no use here, and holding them would keep
    // the pipes from ending (no end of stream, no broken pipe for the feeder).
    CloseHandle(child.m_hChildStdinRd);
    CloseHandle(child.m_hChildStdoutWr);
    CloseHandle(child.m_hChildStderrWr);

    std::atomic<uint64_t> received = 0;
    std::thread messages(DrainMessages, child.m_hChildStderrRdDup, std::ref(received));
    // In FILEOUT runs stdout carries only the job's own text, drained like stderr.
    std::thread reader = GSOutputMethod == STDOUT
                             ? std::thread(ReadPages, std::cref(*this), child.m_hChildStdoutRdDup, std::ref(outcome))
                             : std::thread(DrainMessages, child.m_hChildStdoutRdDup, std::ref(received));

    std::thread feeder;
    std::future<void> feederDone;
    if (TextBuffer(GSInputFile).Compare("-_", true) == 0) {
        // The feeder takes the stdin end over, so it is closed once, by the
        // thread that writes it, after its last write.
        const int input = child.m_hChildStdinWrDup;
        child.m_hChildStdinWrDup = -1;
        std::promise<void> done;
        feederDone = done.get_future();
        feeder = std::thread([input, finished = std::move(done)]() mutable {
            FeedInput(input);
            finished.set_value();
        });
    } else {
        CloseHandle(child.m_hChildStdinWrDup);
    }

    Watch(*this, child, received, outcome);
    reader.join();
    messages.join();
    if (feeder.joinable()) {
        // A stopped job does not wait for input that nobody will send any more.
        const auto grace = outcome.cancelled ? std::chrono::seconds(0) : kFeederGrace;
        if (feederDone.wait_for(grace) == std::future_status::ready) {
            feeder.join();
        } else {
            LogMessage(1, "The job's input has not ended though Ghostscript has.\r\n");
            feeder.detach();
        }
    }
    m_pProcess.reset();
    if (outcome.exitStatus != 0 && !outcome.cancelled && !outcome.timedOut)
        LogMessage(2, "Ghostscript ended with status %d.\r\n", outcome.exitStatus);
    return outcome;
}
