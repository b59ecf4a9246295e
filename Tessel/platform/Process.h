#pragma once
#include <cstddef>
#include <string>
#include <sys/types.h>
#include <utility>
#include <vector>

#include "File.h"  // CloseHandle for the pipe handles

// A started child program and, when wanted, the three pipes that replace its
// standard input, output and error. A closed handle is -1.
struct ProcessInfo {
    pid_t hProcess = 0;  // the child's pid; 0 when none was started
    pid_t dwProcessId = 0;
};

class Process {
public:
    Process() = default;
    // Closes every handle still open. It neither waits for nor ends the
    // child; a child nobody waited for is reaped in the background when it
    // ends, so it never lingers as a zombie.
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    // The command line is split with the Windows quoting rules (CommandLine.h)
    // and never runs through a shell; a program name without '/' is looked up
    // on PATH. showMode and asUser have no meaning here and are ignored.
    // Refuses (false, nothing logged) an empty command line or a second start.
    // With noRedirect the child reads /dev/null and shares our stdout and
    // stderr; otherwise it gets the three pipes. A program that cannot be run
    // fails here, logged.
    //
    // All handles are close-on-exec, and the child gets no descriptor beyond
    // its standard three. Once the child runs, the parent's copies of the
    // child's stdin read end and stderr write end are closed at once (the
    // members read -1): holding them would keep a writer to a dead child
    // blocked for ever and hide the end of the error stream. The parent's copy
    // of the child's stdout write end stays open until the caller closes it,
    // so a reader sees the end of the output only after the caller's wait.
    bool CreateChildProcess(const char* commandLine, bool noRedirect, int showMode, bool asUser);
    // Before the start: the child gets a process group of its own and is
    // killed when this program ends for any reason (even killed itself), so
    // it never outlives us. The kernel ties that to the starting thread: start
    // such a child from a thread that lives as long as the program.
    void BindToParent() { m_bBound = true; }
    // Before the start: a variable the child sees instead of ours.
    void SetVariable(const char* name, const char* value);
    // Before the start: the child's C library lays its heap on huge pages
    // where the system offers them, unless our caller chose otherwise. A
    // renderer that touches a page bitmap of megabytes for every page spends
    // a sixth of its time in page faults without them.
    void PreferHugePages();
    // Kills a started child that has not been waited for (with its whole
    // process group when bound).
    void Terminate();
    // Waits at most timeoutMs for the child's end; true (status as Wait) when it has ended.
    bool WaitFor(int timeoutMs, int* status = nullptr);
    // Waits at most timeoutMs for the child's end and kills a child that
    // outlives it (then reaped); true (status as Wait) when it ended by itself.
    bool WaitOrEnd(int timeoutMs, int* status = nullptr);
    ProcessInfo GetProcessInfo() const { return m_ProcessInfo; }
    // Waits without a time limit for the child's end; the exit status (or
    // 128 + signal) goes to *status. False when there is no child to wait for.
    // A second call gives the same status again.
    bool Wait(int* status = nullptr);
    // Closes the open pipe handles in the order parent stderr read end, child
    // stderr write end, parent stdout read end, child stdout write end, child
    // stdin read end, parent stdin write end. Harmless when repeated.
    void ClosePipes();

    // Runs the program at that path in place of this one, with the argument
    // vector given (its first word the program's name) and our environment.
    // Returns only when it could not be run, with errno set.
    static void Replace(const char* path, const std::vector<std::string>& arguments);

    // Runs a command line with no input, collects up to outputLimit bytes of
    // its standard output (the rest is read and dropped) and waits for its
    // end. False when it could not be started or waited for.
    static bool RunForOutput(const char* commandLine, std::string& output, int* status = nullptr,
                             size_t outputLimit = 65536);

    int m_hChildStdinRd = -1;
    int m_hChildStdinWrDup = -1;   // parent writes the child's input here
    int m_hChildStdoutRdDup = -1;  // parent reads the child's output here
    int m_hChildStdoutWr = -1;
    int m_hChildStderrRdDup = -1;
    int m_hChildStderrWr = -1;

private:
    ProcessInfo m_ProcessInfo;
    bool m_bBound = false;
    std::vector<std::pair<std::string, std::string>> m_Variables;
    bool m_bWaited = false;
    int m_iExitStatus = 0;
};
