#pragma once

// The window in which the user looks over the settings before a job and
// prints it or cancels it. The job processor waits for it and reads the
// answer from PrintJobCancellation.
class SettingsDialog {
public:
    // Shows the dialog until the user decides. "Print" stores what changed
    // and PrintJobCancellation 0; "Cancel job" (Escape, closing the window)
    // stores PrintJobCancellation 1 and nothing else. Returns 0 then; 1
    // without a display (nothing stored) or when a value could not be stored.
    static int Run();
};
