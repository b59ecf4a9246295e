#pragma once

// The window in which the user looks over the settings before a job and
// prints it or cancels it. The job processor waits for it and reads the
// answer from PrintJobCancellation. Opened from the desktop's menu, without a
// job, the same window only saves the settings or closes.
class SettingsDialog {
public:
    enum class Purpose { Job, SettingsOnly };

    // Shows the dialog until the user decides, or for at most limitSeconds
    // when that is above 0. "Print" stores what changed and
    // PrintJobCancellation 0; "Cancel job" (Escape, closing the window)
    // stores PrintJobCancellation 1 and nothing else. Returns 0 then; 1
    // without a display (nothing stored) or when a value could not be
    // stored; kNotAnswered when the time ran out (nothing stored: the job
    // goes on with the settings as they are). For SettingsOnly, "Save"
    // stores what changed, "Close" nothing, and PrintJobCancellation is never
    // touched: no job waits for it.
    static int Run(int limitSeconds = 0, Purpose purpose = Purpose::Job);
    static constexpr int kNotAnswered = 3;
};
