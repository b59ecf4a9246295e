#pragma once

// How a run of the job processor ended, as its exit status; the queue's
// backend tells the scheduler from it what becomes of the job.
constexpr int kExitPrinted = 0;
constexpr int kExitCancelled = 2;  // its user cancelled it in the dialog
constexpr int kExitTryLater = 3;   // the target cannot take it now; it may later
constexpr int kExitFailed = 255;   // it can never print as it is
