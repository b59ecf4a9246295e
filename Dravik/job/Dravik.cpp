#include "Dravik.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>

#include "AppEnvironment.h"
#include "FileList.h"
#include "FileLock.h"
#include "GhostScript.h"
#include "JobFailure.h"
#include "Log.h"
#include "MessageBox.h"
#include "Messages.h"
#include "OutputDelivery.h"
#include "PrintJobInfo.h"
#include "Printer.h"
#include "PrinterDriver.h"
#include "Process.h"
#include "RegistryKey.h"
#include "SavingChoice.h"
#include "StopSignals.h"
#include "SysUtils.h"
#include "UsageStatistics.h"

AppEnvironment* gAppEnv = nullptr;
PrintJobInfo* gJobInfo = nullptr;
GhostScript* gGhostscript = nullptr;
int32_t gIsCheckDocument = 0;
Printer* gVirtualPrinter = nullptr;
Printer* gTargetPrinter = nullptr;
int32_t gPrintJobId = 0;
uint32_t gPrintedPages = 0;
BlockArray* gUsageRecords = nullptr;
int32_t gFirstPage = 1;

namespace {
using Clock = std::chrono::steady_clock;

// Under the queue nobody may be at the screen: the settings dialog closes
// itself after this long, and is ended a little later if it has not.
constexpr int kDialogLimitSeconds = 300;
constexpr auto kDialogGrace = std::chrono::seconds(10);
// The dialog's exit status when it closed itself unanswered, and when its
// package (the desktop part) is not installed.
constexpr int kDialogNotAnswered = 3;
constexpr int kDialogNotInstalled = 4;
// And a message box takes its default answer after this long.
constexpr int kMessageBoxLimitSeconds = 120;
// How long a job handed to the target's spooler is watched for a failure
// there; once it is being printed, failures at its start (a backend that
// cannot write) show within a few seconds.
constexpr auto kTargetJobWatch = std::chrono::seconds(12);
constexpr auto kTargetJobSettle = std::chrono::seconds(3);
constexpr auto kTargetJobPoll = std::chrono::milliseconds(200);

// Started by the queue's backend, which passes our error stream to the scheduler.
bool gUnderQueue = false;

// The first reason recorded on any thread why the job cannot run to its end.
std::mutex gFailureMutex;
int gFailureMessage = 0;
std::string gFailureDetail;

// The target printer's page setup as found before the job changed it.
struct SavedPageSetup {
    bool valid = false;
    int16_t orientation = 0, paperSize = 0, paperLength = 0, paperWidth = 0, printQuality = 0, copies = 0;
};

void CleanUp()
{
    // Anything still open was not finished: a local printer's partial file or
    // an unfinished spooler job goes with its printer.
    delete gAppEnv;
    gAppEnv = nullptr;
    delete gJobInfo;
    gJobInfo = nullptr;
    delete gGhostscript;
    gGhostscript = nullptr;
    delete gVirtualPrinter;
    gVirtualPrinter = nullptr;
    delete gTargetPrinter;
    gTargetPrinter = nullptr;
    delete gUsageRecords;
    gUsageRecords = nullptr;
}

// The job's state message for the scheduler, one line; other lines on our
// error stream (a toolkit's warnings) only reach its log.
void TellQueue(const char* prefix, const char* text)
{
    if (!gUnderQueue || !text) return;
    std::string line = text;
    for (char& c : line)
        if (c == '\r' || c == '\n') c = ' ';
    std::fprintf(stderr, "%s: %s\n", prefix, line.c_str());
}

int32_t Stop(const TextBuffer& message, int status = kExitFailed)
{
    TellQueue("ERROR", message.GetText());
    MessageBoxA(message.GetText(), gAppEnv ? gAppEnv->AppTitle : kMessageCaption, MB_OK | MB_ICONERROR);
    CleanUp();
    return status;
}

// The recorded failure: its message (0 when there is none) and detail.
void RecordedFailure(int& messageId, std::string& detail)
{
    const std::lock_guard<std::mutex> lock(gFailureMutex);
    messageId = gFailureMessage;
    detail = gFailureDetail;
}

// Logs a failure of the run at level 2 and stops with its message.
int32_t Fail(const TextBuffer& message, const char* cause, int status = kExitFailed)
{
    LogMessage(2, "The job failed: %s\r\n", cause);
    return Stop(message, status);
}

// A stop signal: whatever was printed so far is withdrawn, the pages still
// in the data folder go (only while the folder is this job's: before, they
// are an earlier job's), and no message box waits for anybody.
int32_t Stopped(bool folderHeld)
{
    if (gPrintJobId > 0 && gTargetPrinter) AbortDoc(gTargetPrinter->GetDC());
    if (gGhostscript && folderHeld) CleanUpTempFiles(false);
    LogMessage(2, "The print job was stopped by %s; its print document and page files were removed.\r\n",
               StopSignals::Name(StopSignals::Received()));
    CleanUp();
    return -1;
}

// The job's own record when the backend names the job, else the shared one
// (a job run by hand, or by an older backend).
std::string JobRecordKey()
{
    std::string key = "SOFTWARE\\QMVK\\QRXPort";
    const char* id = std::getenv("PARSIMO_JOB_ID");
    if (!id || !*id || std::strlen(id) > 10 || std::strspn(id, "0123456789") != std::strlen(id)) return key;
    return key + "\\" + id;
}

void NameEarlyLogFile()
{
    try {
        const TextBuffer folder =
            GetOSVersion() < 600 ? MakeCommonAppDataDir("QMVK", "Parsimo") : MakeCommonDocumentsDir("QMVK", "Parsimo");
        if (!folder.GetText()) return;
        TextBuffer name(folder);
        const int length = name.GetLength();
        if (length == 0 || name.GetText()[length - 1] != '/') name.Append("/");
        name.Append("Parsimo.log");
        SetLogFileName(name.GetText());
    } catch (...) {
        // Without a first log file the run goes on unlogged until the environment names one.
    }
}

void LogDumpMemoryStatus()
{
    MemoryStatus status;
    GetMemoryStatus(status);
    const int width = 7;
    const char* unit = "K";
    auto kb = [](uint64_t bytes) { return static_cast<long>(bytes / 1024); };
    LogText("[Global Memory Status]\r\n");
    LogText("\t%ld percent of memory is in use.\r\n", static_cast<long>(status.memoryLoad));
    LogText("\tThere are %*ld total %sbytes of physical memory.\r\n", width, kb(status.totalPhys), unit);
    LogText("\tThere are %*ld free %sbytes of physical memory.\r\n", width, kb(status.availPhys), unit);
    LogText("\tThere are %*ld total %sbytes of paging file.\r\n", width, kb(status.totalPageFile), unit);
    LogText("\tThere are %*ld free %sbytes of paging file.\r\n", width, kb(status.availPageFile), unit);
    LogText("\tThere are %*lx total %sbytes of virtual memory.\r\n", width, kb(status.totalVirtual), unit);
    LogText("\tThere are %*lx free %sbytes of virtual memory.\r\n", width, kb(status.availVirtual), unit);
    LogText("\r\n");
}

// The first "-std" or "-file" sets the output method; the first argument that
// does not start with '-' is the job file (a file name may start with any
// character here). Anything else is ignored, but never silently.
void ApplyCommandLine(int argc, char** argv, GhostScript& gs)
{
    bool methodSet = false, fileSet = false;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (!arg || !*arg) {
            LogMessage(2, "An empty argument on the command line is ignored.\r\n");
        } else if (arg[0] != '-') {
            if (fileSet) {
                LogMessage(2, "A second job file on the command line is ignored: %s\r\n", arg);
                continue;
            }
            CopyField(gs.GSInputFile, arg);
            fileSet = true;
        } else if (TextBuffer(arg).Compare("-std", true) == 0 || TextBuffer(arg).Compare("-file", true) == 0) {
            if (!methodSet) gs.GSOutputMethod = TextBuffer(arg).Compare("-std", true) == 0 ? STDOUT : FILEOUT;
            methodSet = true;
        } else {
            LogMessage(2, "Unknown option %s on the command line is ignored.\r\n", arg);
        }
    }
}

// Starts the settings dialog and waits for it, under the queue for a limited
// time; false when it could not start. A stop signal ends the wait and the dialog.
bool ShowSettingsDialog(const AppEnvironment& env, bool underQueue, int32_t saving)
{
    TextBuffer commandLine;
    commandLine.Format("\"%s%s\" /dialog", env.InstallDir, env.AppName);
    Process dialog;
    if (underQueue) dialog.SetVariable("PARSIMO_DIALOG_TIMEOUT", std::to_string(kDialogLimitSeconds).c_str());
    // Its toolkit's warnings go to the job's log, never as the job's state.
    if (gLogFileName[0]) dialog.SetVariable("TESSEL_LOGFILE", gLogFileName);
    // The dialog starts from the saving this job would get.
    dialog.SetVariable("PARSIMO_JOB_SAVING", std::to_string(saving).c_str());
    if (!dialog.CreateChildProcess(commandLine.GetText(), true, 0, false)) return false;
    const auto deadline = Clock::now() + std::chrono::seconds(kDialogLimitSeconds) + kDialogGrace;
    int status = 0;
    bool ended = false;
    while (!(ended = dialog.WaitFor(250, &status)) && !StopSignals::Received() &&
           (!underQueue || Clock::now() < deadline)) { }
    if (!ended) {
        dialog.Terminate();
        dialog.Wait();
    }
    if (underQueue && !StopSignals::Received() && (!ended || status == kDialogNotAnswered))
        LogText("The settings dialog was not answered within %d seconds; the job goes on with the settings as they "
                "are.\r\n",
                kDialogLimitSeconds);
    if (ended && status == kDialogNotInstalled)
        LogText("The settings dialog is not installed (package parsimo-gtk); the job goes on with the settings as "
                "they are.\r\n");
    return true;
}

// Whether the target's spooler reports the handed-over job failed, asked for
// a bounded time; a job still queued or printing then counts as delivered.
bool TargetJobFailed(Printer& target, int32_t jobId)
{
    const auto deadline = Clock::now() + kTargetJobWatch;
    auto settled = deadline;
    for (;;) {
        const PrinterDriver::JobState state = target.QueryJob(jobId);
        if (state == PrinterDriver::JobState::Failed) return true;
        if (state == PrinterDriver::JobState::Done || state == PrinterDriver::JobState::Unknown) return false;
        if (state == PrinterDriver::JobState::Printing) settled = std::min(settled, Clock::now() + kTargetJobSettle);
        if (Clock::now() >= settled || StopSignals::Received()) {
            LogMessage(1, "The target's job %d is %s; it counts as delivered.\r\n", jobId,
                       state == PrinterDriver::JobState::Printing ? "being printed" : "still queued");
            return false;
        }
        std::this_thread::sleep_for(kTargetJobPoll);
    }
}

// Output selection; false (after the stop message) for an unknown image format.
bool SelectOutput(const AppEnvironment& env, GhostScript& gs)
{
    struct Choice {
        const char* device;
        const char* extension;
    };
    Choice choice{nullptr, nullptr};
    const TextBuffer output(env.PrintOutFormat);
    if (output.Compare("PDF", true) == 0) {
        choice = {"pdfwrite", ".pdf"};
    } else if (output.Compare("IMAGE", true) == 0) {
        const TextBuffer format(env.DefaultImageFormat);
        if (format.Compare("jpeg", true) == 0 || format.Compare("jpg", true) == 0)
            choice = {"jpeg", ".jpg"};
        else if (format.Compare("bmp256", true) == 0 || format.Compare("bmp", true) == 0)
            choice = {"bmp256", ".bmp"};
        else if (format.Compare("bmp16m", true) == 0)
            choice = {"bmp16m", ".bmp"};
        else if (env.DefaultImageFormat[0] != '\0') {
            LogText("This image format (%s) is not supported!\r\n", env.DefaultImageFormat);
            return false;
        }
    }
    if (choice.device) {
        CopyField(gs.GSDevice, choice.device);
        CopyField(gs.GSOutputFile, TextBuffer(TextBuffer(gs.GSOutputFile), TextBuffer(choice.extension)).GetText());
        gs.GSOutputMethod = FILEOUT;
    }
    // A numbered name makes Ghostscript write one PDF per page; the job is one PDF.
    if (choice.device && std::strcmp(choice.device, "pdfwrite") == 0) CopyField(gs.GSOutputFile, "_dk_0001.tm_.pdf");
    return true;
}
}  // namespace

void FailJob(int messageId, const char* detail)
{
    {
        const std::lock_guard<std::mutex> lock(gFailureMutex);
        if (gFailureMessage != 0) return;
        gFailureMessage = messageId;
        gFailureDetail = detail ? detail : "";
    }
    if (gGhostscript) gGhostscript->Cancel();
}

// The job's saving by the one rule; what the job asked goes to the log.
SavingChoice ChooseSaving(const AppEnvironment& env)
{
    const SavingChoice::Request request{GetEnvironmentText("PARSIMO_TONER_SAVING"),
                                        GetEnvironmentText("PARSIMO_PRINT_QUALITY"),
                                        GetEnvironmentText("PARSIMO_QUEUE_SAVING")};
    const SavingChoice choice = SavingChoice::Decide(
        request, env.SavingsPercentageStored ? std::optional<int32_t>(env.SavingsPercentage) : std::nullopt,
        {env.MinimumSaving, env.DraftSaving});
    LogMessage(
        2, "Toner saving: %s; the job asked TonerSaving \"%s\", print quality \"%s\"; the queue's default \"%s\".\r\n",
        choice.Describe().c_str(), request.tonerSaving.c_str(), request.printQuality.c_str(),
        request.queueDefault.c_str());
    return choice;
}

bool JobFailed()
{
    const std::lock_guard<std::mutex> lock(gFailureMutex);
    return gFailureMessage != 0;
}

int32_t RunJob(int argc, char** argv)
{
    // Before any thread exists: a stop signal ends the job cleanly, never halfway.
    StopSignals::Install();
    // Started by the queue's backend: nobody need be at the screen, so no
    // window may hold the job (and the queue behind it) for ever.
    const bool underQueue = !GetEnvironmentText("PARSIMO_JOB_ID").empty();
    gUnderQueue = underQueue;
    if (underQueue) SetMessageBoxTimeLimit(kMessageBoxLimitSeconds);

    // 1. Early log file in the all-users folder.
    NameEarlyLogFile();

    // 2. Application environment.
    try {
        gAppEnv = new AppEnvironment();
    } catch (const std::runtime_error& error) {
        return Stop(TextBuffer(error.what()));
    }

    // Message boxes from now on by the settings program's desktop part.
    SetMessageBoxProgram(TextBuffer(TextBuffer(gAppEnv->InstallDir), TextBuffer(gAppEnv->AppName)).GetText());

    // 3. The per-user log file and level.
    SetLogFileName(gAppEnv->LogFileName);
    gLogLevel = gAppEnv->LogLevel;
    // The saving this job gets; the user's stored setting is kept to tell a
    // choice made in the dialog from one left as it was.
    const SavingChoice saving = ChooseSaving(*gAppEnv);
    const int32_t storedSaving = gAppEnv->SavingsPercentage;
    const bool savingStored = gAppEnv->SavingsPercentageStored;
    gAppEnv->SavingsPercentage = saving.percentage;
    // The user's own database: the all-users one is the backend's to write.
    SetUsageDatabase(TextBuffer(TextBuffer(gAppEnv->AppDataDir), TextBuffer("Parsimo.sdf")).GetText());

    // 4. Job information left by the port monitor, refreshed from the spooler.
    gJobInfo = new PrintJobInfo();
    gJobInfo->ReadFromRegistry(HKEY_CURRENT_USER, JobRecordKey().c_str());
    if (gLogLevel == 0) gJobInfo->LogInfo();
    gJobInfo->ReadFromSpooler(gAppEnv->PrinterName, gJobInfo->JobID);
    if (gLogLevel == 0) gJobInfo->LogInfo();

    // 5. Cheque documents keep their MICR line.
    gIsCheckDocument = std::strcmp(gJobInfo->PrintDocumentName, kCheckDocument) == 0 ? 1 : 0;

    // 6. Ghostscript.
    gGhostscript = new GhostScript(gAppEnv->AppDataDir, gAppEnv->GSVersion);
    if (!gGhostscript->GSPath[0]) {
        LogText("Ghostscript installation not found!\r\n");
        return Stop(GetMessageText(MSG_GS_NOT_FOUND));
    }

    // 7. Resolution.
    gGhostscript->GSResolution =
        (gAppEnv->EnhancedMicrLineQuality > 0 && gIsCheckDocument == 1) ? kChequePrintQuality : kDefaultPrintQuality;

    // 8. Command line.
    ApplyCommandLine(argc, argv, *gGhostscript);
    gGhostscript->GSJobTimeout = gAppEnv->JobTimeout;
    if (std::strcmp(gGhostscript->GSInputFile, "-_") != 0 && !CanReadFile(gGhostscript->GSInputFile)) {
        LOG_LAST_ERROR(2);
        return Fail(FormatMessageText(MSG_JOB_FILE, gGhostscript->GSInputFile), "the job file cannot be read");
    }

    // 9. Reset cancellation.
    gAppEnv->SetPrintJobCancellation(0);

    // 10. Settings section.
    if (gLogLevel == 0) gAppEnv->LogSettings();

    // 11. Settings dialog.
    if (gAppEnv->ShowDialog != 0 && ShowSettingsDialog(*gAppEnv, underQueue, saving.percentage)) {
        gAppEnv->ReadSettings();
        if (gAppEnv->PrintJobCancellation != 0) {
            LogText("The print job was canceled by user.\r\n");
            TellQueue("INFO", "The print job was cancelled in the Parsimo dialog");
            CleanUp();
            return kExitCancelled;
        }
        // A saving the user moved in the dialog is theirs for this job, within the machine's minimum.
        if (gAppEnv->SavingsPercentageStored != savingStored || gAppEnv->SavingsPercentage != storedSaving) {
            gAppEnv->SavingsPercentage =
                SavingChoice::Decide({}, gAppEnv->SavingsPercentage, {gAppEnv->MinimumSaving, gAppEnv->DraftSaving})
                    .percentage;
            LogMessage(2, "Toner saving: %d (chosen in the dialog).\r\n", gAppEnv->SavingsPercentage);
        } else {
            gAppEnv->SavingsPercentage = saving.percentage;
        }
    }

    if (StopSignals::Received()) return Stopped(false);

    // 12. Output selection.
    if (!SelectOutput(*gAppEnv, *gGhostscript))
        return Stop(FormatMessageText(MSG_IMAGE_FORMAT, gAppEnv->DefaultImageFormat));

    // 13. Printers, when pages come through the pipe.
    SavedPageSetup saved;
    if (gGhostscript->GSOutputMethod == STDOUT) {
        gVirtualPrinter = new Printer(gAppEnv->PrinterName);
        if (!gVirtualPrinter->GetDC()) {
            LogText("Could not open the virtual printer %s!\r\n", gAppEnv->PrinterName);
            // Both printers are the scheduler's: it does not answer just now.
            return Stop(FormatMessageText(MSG_VIRTUAL_PRINTER, gAppEnv->PrinterName), kExitTryLater);
        }
        // A user who never chose a target prints on the default destination,
        // unless that is this virtual printer itself.
        if (!gAppEnv->TargetPrinterName[0]) {
            const std::string fallback = PrinterDriver::DefaultName();
            if (fallback.empty() || TextBuffer(fallback.c_str()).Compare(gAppEnv->PrinterName, true) == 0) {
                const char* name = fallback.empty() ? "none" : fallback.c_str();
                LogText("No target printer is chosen, and the default printer (%s) cannot be used!\r\n", name);
                return Stop(FormatMessageText(MSG_NO_TARGET, name));
            }
            CopyField(gAppEnv->TargetPrinterName, fallback.c_str());
        }
        gTargetPrinter = new Printer(gAppEnv->TargetPrinterName);
        if (!gTargetPrinter->GetDC()) {
            LogText("Could not open the target printer %s!\r\n", gAppEnv->TargetPrinterName);
            return Stop(FormatMessageText(MSG_TARGET_PRINTER, gAppEnv->TargetPrinterName));
        }
        if (!gTargetPrinter->SupportsStretchDIB()) {
            LogText("Printer %s is not supported!\r\n", gAppEnv->TargetPrinterName);
            return Stop(FormatMessageText(MSG_PRINTER_NOT_SUPPORTED, gAppEnv->TargetPrinterName));
        }
        saved.valid = gTargetPrinter->GetDevModeValues(&saved.orientation, &saved.paperSize, &saved.paperLength,
                                                       &saved.paperWidth, &saved.printQuality, &saved.copies);
    }

    // 14. Diagnostic sections.
    if (gLogLevel == 0) {
        LogDumpMemoryStatus();
        gAppEnv->LogSettings();
        gJobInfo->LogInfo();
        gGhostscript->LogSettings();
    }

    // Jobs of one user share the data folder: a second job waits here until the
    // first has finished, so its clean-up never deletes the first one's pages.
    // The wait is limited like Ghostscript's silence, so that a job that
    // hangs cannot hold this user's later jobs for ever.
    FileLock dataFolder;
    const TextBuffer lockName(TextBuffer(gGhostscript->GSDataDir), TextBuffer("Parsimo.lock"));
    const long long lockWaitMs = gAppEnv->JobTimeout > 0 ? gAppEnv->JobTimeout * 1000LL : -1;
    if (!dataFolder.Acquire(
            lockName.GetText(), [] { LogText("Waiting for an earlier job to finish.\r\n"); }, lockWaitMs)) {
        if (errno == EINTR) return Stopped(false);
        LOG_LAST_ERROR(2);
        if (errno == EWOULDBLOCK) {
            LogMessage(2, "An earlier job still held the data folder after %d seconds.\r\n", gAppEnv->JobTimeout);
            return Fail(FormatMessageText(MSG_JOB_BUSY), "the data folder stayed busy", kExitTryLater);
        }
    }

    // A failure between here and the end must not keep the target printer's
    // page setup from being restored.
    TextBuffer failure;        // the message, when the job did not run to its end
    std::string cause;         // and its cause, for the log
    int ending = kExitFailed;  // and what becomes of the job
    try {
        // 15. What earlier jobs left behind.
        CleanUpTempFiles();

        // 16. Counters.
        gPrintedPages = 0;
        gUsageRecords = new BlockArray();

        // 17. Render; pages reach HandlePage on the page queue's thread, each
        // prepared beside the one before when it comes in time.
        const RunOutcome outcome = gGhostscript->Run(HandlePage, PreparePage);
        if (StopSignals::Received()) return Stopped(true);

        // 18. End the one print document.
        bool documentDone = true;
        if (gPrintJobId > 0 && gTargetPrinter && gTargetPrinter->GetDC()) {
            try {
                documentDone = EndDoc(gTargetPrinter->GetDC()) > 0;
            } catch (...) {
                LogMessage(2, "EndDoc() caused an exception!\r\n");
            }
            if (!documentDone) LogMessage(2, "The print document could not be finished.\r\n");
            // Taken by the target's spooler is not yet printed: a job that
            // fails there is not delivered either.
            if (documentDone && TargetJobFailed(*gTargetPrinter, gPrintJobId)) {
                LogMessage(2, "The target printer's job %d failed.\r\n", gPrintJobId);
                documentDone = false;
            }
        }
        // What was printed but never delivered does not count.
        if (!documentDone) gPrintedPages = 0;

        RunFindings run;
        RecordedFailure(run.recordedMessage, run.recordedDetail);
        run.timedOut = outcome.timedOut;
        run.timeoutSeconds = gGhostscript->GSJobTimeout;
        run.launched = outcome.launched;
        run.exitStatus = outcome.exitStatus;
        run.streamWhole = outcome.streamWhole;
        run.printing = gGhostscript->GSOutputMethod == STDOUT;
        run.documentDone = documentDone;
        run.pagesDelivered = outcome.pagesDelivered;
        run.pagesPrinted = gPrintedPages;
        run.outputWritten = run.printing || FileList(gGhostscript->GSDataDir, gGhostscript->GSTempFile).GetSize() > 0;
        run.target = gAppEnv->TargetPrinterName;
        run.dataFolder = gGhostscript->GSDataDir;
        const JobFailure found = JobFailure::Classify(run);
        if (found.Failed()) {
            failure = FormatMessageText(found.messageId, found.detail.c_str());
            cause = found.cause;
            ending = found.status;
        }

        // 19. Page count of file output; a record that claims more printed than
        // total pages counts nothing rather than wrapping around.
        if (!failure.GetText() && gPrintedPages == 0 && gAppEnv->PrintOutFormat[0] != '\0') {
            const int64_t remaining = static_cast<int64_t>(gJobInfo->TotalPages) - gJobInfo->PagesPrinted;
            gPrintedPages = remaining > 0 ? static_cast<uint32_t>(remaining) : 0;
        }

        // 20. Save and show file output, only when it is whole; files not
        // saved were not delivered.
        if (gGhostscript->GSOutputMethod == FILEOUT && !failure.GetText() && !DeliverOutput()) {
            failure = FormatMessageText(MSG_OUTPUT_FAILED, OutputFolderPath(gAppEnv->OutputFolder).c_str());
            cause = "the output files could not be saved";
            gPrintedPages = 0;
        }

        // 21. Usage statistics, for the pages that reached paper or a file.
        if (gPrintedPages != 0 && (documentDone || !failure.GetText())) SaveJobStatistics();
    } catch (const std::exception& error) {
        LogText("The job ended early: %s\r\n", error.what());
        failure = FormatMessageText(MSG_RENDER_FAILED, error.what()), cause = error.what();
    }

    // 22. Restore the target printer's page setup.
    if (saved.valid && gTargetPrinter)
        gTargetPrinter->SetDevMode(saved.orientation, saved.paperSize, 0, 0, saved.printQuality, saved.copies);

    if (failure.GetText()) return Fail(failure, cause.c_str(), ending);

    // 23. Clean up.
    CleanUp();
    if (gLogLevel == 0) LogDumpMemoryStatus();
    return kExitPrinted;
}
