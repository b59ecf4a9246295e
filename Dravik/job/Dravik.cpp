#include "Dravik.h"

#include <cstring>
#include <stdexcept>

#include "AppEnvironment.h"
#include "FileList.h"
#include "FileLock.h"
#include "GhostScript.h"
#include "Log.h"
#include "MessageBox.h"
#include "Messages.h"
#include "OutputDelivery.h"
#include "PrintJobInfo.h"
#include "Printer.h"
#include "PrinterDriver.h"
#include "Process.h"
#include "RegistryKey.h"
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

// The target printer's page setup as found before the job changed it.
struct SavedPageSetup {
    bool valid = false;
    int16_t orientation = 0, paperSize = 0, paperLength = 0, paperWidth = 0, printQuality = 0, copies = 0;
};

void CleanUp()
{
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

int32_t Stop(const TextBuffer& message)
{
    MessageBoxA(message.GetText(), gAppEnv ? gAppEnv->AppTitle : kMessageCaption, MB_OK | MB_ICONERROR);
    CleanUp();
    return -1;
}

void NameEarlyLogFile()
{
    try {
        const TextBuffer folder = GetOSVersion() < 600 ? MakeCommonAppDataDir("QMVK", "Parsimo")
                                                       : MakeCommonDocumentsDir("QMVK", "Parsimo");
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
// starts with an ASCII letter is the input file, and so, on this platform,
// is one that starts like a path ("/..." or "./...") does.
void ApplyCommandLine(int argc, char** argv, GhostScript& gs)
{
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (!arg || arg[0] != '-') continue;
        if (TextBuffer(arg).Compare("-std", true) == 0) {
            gs.GSOutputMethod = STDOUT;
            break;
        }
        if (TextBuffer(arg).Compare("-file", true) == 0) {
            gs.GSOutputMethod = FILEOUT;
            break;
        }
    }
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (!arg) continue;
        const char c = arg[0];
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '/' || c == '.') {
            CopyField(gs.GSInputFile, arg);
            break;
        }
    }
}

// Starts the settings dialog and waits for it; false when it could not start.
bool ShowSettingsDialog(const AppEnvironment& env)
{
    TextBuffer commandLine;
    commandLine.Format("\"%s%s\" /dialog", env.InstallDir, env.AppName);
    Process dialog;
    if (!dialog.CreateChildProcess(commandLine.GetText(), true, 0, false)) return false;
    dialog.Wait();
    return true;
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
    return true;
}
}  // namespace

int32_t RunJob(int argc, char** argv)
{
    // 1. Early log file in the all-users folder.
    NameEarlyLogFile();

    // 2. Application environment.
    try {
        gAppEnv = new AppEnvironment();
    } catch (const std::runtime_error& error) {
        MessageBoxA(error.what(), kMessageCaption, MB_OK | MB_ICONERROR);
        CleanUp();
        return -1;
    }

    // 3. The per-user log file and level.
    SetLogFileName(gAppEnv->LogFileName);
    gLogLevel = gAppEnv->LogLevel;
    SetUsageDatabase(TextBuffer(TextBuffer(gAppEnv->CommonAppDataDir), TextBuffer("Parsimo.sdf")).GetText());

    // 4. Job information left by the port monitor, refreshed from the spooler.
    gJobInfo = new PrintJobInfo();
    gJobInfo->ReadFromRegistry(HKEY_CURRENT_USER, "SOFTWARE\\QMVK\\QRXPort");
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
    gGhostscript->GSResolution = (gAppEnv->EnhancedMicrLineQuality > 0 && gIsCheckDocument == 1) ? kChequePrintQuality
                                                                                             : kDefaultPrintQuality;

    // 8. Command line.
    ApplyCommandLine(argc, argv, *gGhostscript);

    // 9. Reset cancellation.
    gAppEnv->SetPrintJobCancellation(0);

    // 10. Settings section.
    if (gLogLevel == 0) gAppEnv->LogSettings();

    // 11. Settings dialog.
    if (gAppEnv->ShowDialog != 0 && ShowSettingsDialog(*gAppEnv)) {
        gAppEnv->ReadSettings();
        if (gAppEnv->PrintJobCancellation != 0) {
            LogText("The print job was canceled by user.\r\n");
            CleanUp();
            return -1;
        }
    }

    // 12. Output selection.
    if (!SelectOutput(*gAppEnv, *gGhostscript))
        return Stop(FormatMessageText(MSG_IMAGE_FORMAT, gAppEnv->DefaultImageFormat));

    // 13. Printers, when pages come through the pipe.
    SavedPageSetup saved;
    if (gGhostscript->GSOutputMethod == STDOUT) {
        gVirtualPrinter = new Printer(gAppEnv->PrinterName);
        if (!gVirtualPrinter->GetDC()) {
            LogText("Could not open the virtual printer %s!\r\n", gAppEnv->PrinterName);
            return Stop(FormatMessageText(MSG_VIRTUAL_PRINTER, gAppEnv->PrinterName));
        }
        // A user who never chose a target prints on the default destination,
        // unless that is this virtual printer itself.
        if (!gAppEnv->TargetPrinterName[0]) {
            const std::string fallback = PrinterDriver::DefaultName();
            if (TextBuffer(fallback.c_str()).Compare(gAppEnv->PrinterName, true) != 0)
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
    FileLock dataFolder;
    const TextBuffer lockName(TextBuffer(gGhostscript->GSDataDir), TextBuffer("Parsimo.lock"));
    if (!dataFolder.Acquire(lockName.GetText(), [] { LogText("Waiting for an earlier job to finish.\r\n"); }))
        LOG_LAST_ERROR(2);

    // A failure between here and the end must not keep the target printer's
    // page setup from being restored.
    try {
        // 15. What earlier jobs left behind.
        CleanUpTempFiles();

        // 16. Counters.
        gPrintedPages = 0;
        gUsageRecords = new BlockArray();

        // 17. Render; pages reach HandlePage on the reader thread.
        gGhostscript->Run(HandlePage);

        // 18. End the one print document.
        if (gPrintJobId > 0 && gTargetPrinter && gTargetPrinter->GetDC()) {
            try {
                EndDoc(gTargetPrinter->GetDC());
            } catch (...) {
                LogMessage(2, "EndDoc() caused an exception!\r\n");
            }
        }

        // 19. Page count of file output; a record that claims more printed than
        // total pages counts nothing rather than wrapping around.
        if (gPrintedPages == 0 && gAppEnv->PrintOutFormat[0] != '\0') {
            const int64_t remaining = static_cast<int64_t>(gJobInfo->TotalPages) - gJobInfo->PagesPrinted;
            gPrintedPages = remaining > 0 ? static_cast<uint32_t>(remaining) : 0;
        }

        // 20. Usage statistics.
        if (gPrintedPages != 0) SaveJobStatistics();

        // 21. Show file output.
        if (gGhostscript->GSOutputMethod == FILEOUT) DeliverOutput();
    } catch (const std::exception& error) {
        LogText("The job ended early: %s\r\n", error.what());
    }

    // 22. Restore the target printer's page setup.
    if (saved.valid && gTargetPrinter)
        gTargetPrinter->SetDevMode(saved.orientation, saved.paperSize, 0, 0, saved.printQuality, saved.copies);

    // 23. Clean up.
    CleanUp();
    if (gLogLevel == 0) LogDumpMemoryStatus();
    return 0;
}
