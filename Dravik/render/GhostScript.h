#pragma once
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

    // Runs Ghostscript once; returns when it has ended and every page was handed over.
    void Run(PageCallback callback);

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

    std::unique_ptr<Process> m_pProcess;
    PageCallback m_pCallback = nullptr;
};
