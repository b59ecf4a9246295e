#pragma once
#include <atomic>
#include <cstdint>
#include <memory>

#include "FixedText.h"
#include "Log.h"
#include "TextBuffer.h"

class File;
class Process;

// Receives the full name of each finished page file, in page order, on the
// page queue's worker thread.
using PageCallback = void (*)(const char* path);

constexpr int32_t FILEOUT = 0;
constexpr int32_t STDOUT = 1;

// How a run ended.
struct RunOutcome {
    bool launched = false;    // Ghostscript was started
    int exitStatus = -1;      // its exit status; 128 + the signal when killed
    bool streamWhole = true;  // the page stream ended cleanly (STDOUT runs)
    int32_t pagesDelivered = 0;
    bool timedOut = false;   // ended after GSJobTimeout seconds without output
    bool cancelled = false;  // ended on Cancel or a stop signal
    bool Succeeded() const { return launched && exitStatus == 0 && streamWhole && !timedOut && !cancelled; }
};

// One Ghostscript run: the installation, every option, the option file and
// command line, and (GhostScriptRun.cpp) the run with its reader and feeder.
class GhostScript {
public:
    GhostScript(const char* dataDir, const char* version);
    virtual ~GhostScript();
    GhostScript(const GhostScript&) = delete;
    GhostScript& operator=(const GhostScript&) = delete;

    void LogSettings() const;
    // Writes "QrxWrite.cfg" into GSDataDir and builds the command line for the
    // given output folder. False when the option file cannot be created.
    bool WriteOptionFile(const char* outputFolder, TextBuffer& commandLine);
    static void WriteOptionLine(File& file, const char* format, ...) TESSEL_PRINTF(2, 3);

    // Runs Ghostscript once; returns when it has ended and every page was
    // handed over. Ghostscript never outlives this program; it is ended when
    // it gives no output for GSJobTimeout seconds, on Cancel and on a stop
    // signal. Pages go to `callback`; with `prepare`, a page may go there
    // first while the one before is handled (see PageQueue).
    RunOutcome Run(PageCallback callback, PageCallback prepare = nullptr);
    // Asks a run to end Ghostscript; any thread may call it.
    void Cancel() { m_bCancel = true; }

    char GSVersion[kMaxPath + 1] = "";
    char GSPath[kMaxPath + 1] = "";
    char GSLibPath[kMaxPath + 1] = "";
    char GSExecutable[kMaxPath + 1] = "gs";
    char GSDevice[kMaxPath + 1] = "bmp256";
    char GSPaperSize[kMaxPath + 1] = "letter";
    char GSOutputFile[kMaxPath + 1] = "_dk_%04d.tm_";
    char GSTempFile[kMaxPath + 1] = "_dk_????.tm_.*";
    char GSInputFile[kMaxPath + 1] = "-_";
    char GSDataDir[kMaxPath + 1] = "";
    int32_t GSResolution = 300;
    int32_t GSOutputMethod = STDOUT;
    int32_t GSJobTimeout = 600;  // seconds without output; 0 waits for ever

    std::unique_ptr<Process> m_pProcess;
    PageCallback m_pCallback = nullptr;
    PageCallback m_pPrepare = nullptr;
    std::atomic<bool> m_bCancel = false;
};
