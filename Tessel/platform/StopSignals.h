#pragma once

// SIGTERM, SIGINT and SIGHUP ask the job to stop instead of ending the
// program on the spot: the signal is remembered, and the run, which looks at
// it wherever it waits, ends its child programs, drops its print document
// and its page files and exits as a failure.
class StopSignals {
public:
    // Installs the handlers; call once, early.
    static void Install();
    // The first stop signal received, or 0.
    static int Received();
    // The signal's name ("SIGTERM"), for the log.
    static const char* Name(int signal);
};
