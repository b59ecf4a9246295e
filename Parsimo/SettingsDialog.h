#pragma once

// The window in which the user looks over the settings before a job and
// prints it or cancels it. The job processor waits for it and reads the
// answer from PrintJobCancellation.
class SettingsDialog {
public:
    // Shows the dialog until the user decides, or for at most limitSeconds
    // when that is above 0. "Print" stores what changed and
    // PrintJobCancellation 0; "Cancel job" (Escape, closing the window)
    // stores PrintJobCancellation 1 and nothing else. Returns 0 then; 1
    // without a display (nothing stored) or when a value could not be
    // stored; kNotAnswered when the time ran out (nothing stored: the job
    // goes on with the settings as they are).
    static int Run(int limitSeconds = 0);
    static constexpr int kNotAnswered = 3;
};
