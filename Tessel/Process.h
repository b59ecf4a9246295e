#pragma once
#include <sys/types.h>

// A started child program and, when wanted, the three pipes that replace its
// standard input, output and error. A closed handle is -1.
struct ProcessInfo {
    pid_t hProcess = 0;  // the child's pid; 0 when none was started
    pid_t dwProcessId = 0;
};

class Process {
public:
    Process() = default;
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    // The command line is split with the Windows quoting rules and never runs
    // through a shell. showMode and asUser have no meaning here and are ignored.
    bool CreateChildProcess(const char* commandLine, bool noRedirect, int showMode, bool asUser);
    ProcessInfo GetProcessInfo() const { return m_ProcessInfo; }
    // Waits without a time limit for the child's end; the exit status (or
    // 128 + signal) goes to *status. False when there is no child to wait for.
    bool Wait(int* status = nullptr);
    void ClosePipes();

    int m_hChildStdinRd = -1;
    int m_hChildStdinWrDup = -1;   // parent writes the child's input here
    int m_hChildStdoutRdDup = -1;  // parent reads the child's output here
    int m_hChildStdoutWr = -1;
    int m_hChildStderrRdDup = -1;
    int m_hChildStderrWr = -1;

private:
    ProcessInfo m_ProcessInfo;
    bool m_bWaited = false;
};

// Closes a handle and marks it closed; a closed handle is left alone.
void CloseHandle(int& handle);
