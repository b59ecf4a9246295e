#pragma once
#include <cstdint>

#include "JobExit.h"
#include "PtrArray.h"

// The fixed caption of every message box, usable before the environment exists.
constexpr const char* kMessageCaption = "Z3 Parsimo";
// The document name of cheques, compared with regard to case.
constexpr const char* kCheckDocument = "Check Document";

class AppEnvironment;
class GhostScript;
class PrintJobInfo;
class Printer;

// Run state of the one job of this process. The page handler runs on the
// page queue's worker thread, one page at a time, only while the main thread
// waits for Ghostscript, so none of it is shared by two threads at once;
// beside it, a page is prepared on a thread that only reads the settings,
// Ghostscript's resolution and gIsCheckDocument, none of which change then.
extern AppEnvironment* gAppEnv;
extern PrintJobInfo* gJobInfo;
extern GhostScript* gGhostscript;
extern int32_t gIsCheckDocument;
extern Printer* gVirtualPrinter;
extern Printer* gTargetPrinter;
extern int32_t gPrintJobId;
extern uint32_t gPrintedPages;
extern BlockArray* gUsageRecords;
extern int32_t gFirstPage;

// One of the kExit* statuses, or -1 (status 255) when stopped by a signal.
int32_t RunJob(int argc, char** argv);
// Records why the job cannot run to its end (the first cause recorded is the
// one reported, with the message messageId filled with detail) and ends
// Ghostscript. Any thread may call it.
void FailJob(int messageId, const char* detail);
// Whether FailJob was called.
bool JobFailed();
// Prints one page file (which it deletes), prepared or not.
void HandlePage(const char* path);
// Loads and thins a page file ahead of HandlePage, while the page before it prints.
void PreparePage(const char* path);
