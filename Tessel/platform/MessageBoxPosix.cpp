// Message boxes without a window system in this layer: a program of the
// installation on a desktop, a prompt on the controlling terminal, or a line
// on standard error.
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <string>
#include <strings.h>
#include <termios.h>
#include <unistd.h>

#include "CommandLine.h"
#include "Log.h"
#include "MessageBox.h"
#include "Pipe.h"
#include "Process.h"

namespace {
constexpr unsigned kButtonMask = 0xF;
constexpr size_t kMaxAnswer = 256;
// How long a box that should have closed by itself may go on before it is ended.
constexpr int kGraceMs = 2000;

std::atomic<int> gTimeLimitSeconds{0};
std::mutex gProgramMutex;
std::string gProgram;

bool IsQuestion(unsigned type)
{
    return (type & kButtonMask) == MB_YESNO;
}

const char* AnswerName(int answer)
{
    return answer == IDYES ? "Yes" : answer == IDNO ? "No" : "OK";
}

// The message on one line: its own line breaks become blanks.
std::string OneLine(const char* caption, const char* text)
{
    std::string line = std::string(caption) + ": " + text;
    for (char& c : line)
        if (c == '\r' || c == '\n') c = ' ';
    return line;
}

void ReportOnStderr(const char* caption, const char* text, int answer)
{
    fprintf(stderr, "%s [%s]\n", OneLine(caption, text).c_str(), AnswerName(answer));
}

bool HasDisplay()
{
    const char* x11 = getenv("DISPLAY");
    const char* wayland = getenv("WAYLAND_DISPLAY");
    return (x11 && *x11) || (wayland && *wayland);
}

// False when the message program is not there or showed nothing; *answer is
// the user's choice.
bool AskProgram(const char* text, const char* caption, unsigned type, int* answer)
{
    std::string program;
    {
        const std::lock_guard<std::mutex> lock(gProgramMutex);
        program = gProgram;
    }
    if (program.empty()) return false;
    const bool question = IsQuestion(type);
    const char* kind = question ? "question" : (type & MB_ICONERROR) ? "error" : "info";
    std::string commandLine = CommandLine::Join({program, "/message", std::string("--kind=") + kind,
                                                 std::string("--title=") + caption, std::string("--text=") + text});
    const int limit = gTimeLimitSeconds.load();
    if (limit > 0) commandLine += " " + CommandLine::Quote("--timeout=" + std::to_string(limit));
    Process box;
    // Its toolkit's warnings belong in our log: our standard error may be
    // what the queue shows as the job's state.
    if (gLogFileName[0]) box.SetVariable("TESSEL_LOGFILE", gLogFileName);
    int status = -1;
    if (!box.CreateChildProcess(commandLine.c_str(), true, 0, false)) return false;
    // A box that does not close itself in time is ended: the default answer.
    if (limit > 0 && !box.WaitOrEnd(limit * 1000 + kGraceMs, &status)) status = kMessageNotAnswered;
    if (limit <= 0 && !box.Wait(&status)) return false;
    if (status == kMessageYes)
        *answer = question ? IDYES : IDOK;
    else if (status == kMessageNo || status == kMessageNotAnswered)
        *answer = question ? IDNO : IDOK;
    else
        return false;
    return true;
}

bool WriteText(int handle, const std::string& text)
{
    return Pipe::Write(handle, text.data(), text.size());
}

// False when the deadline passes before the terminal has input.
bool WaitForKey(int terminal, std::chrono::steady_clock::time_point deadline)
{
    for (;;) {
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0) return false;
        pollfd watch{terminal, POLLIN, 0};
        const int ready = poll(&watch, 1, static_cast<int>(left));
        if (ready > 0) return true;
        if (ready < 0 && errno != EINTR) return false;
    }
}

// False when there is no terminal that can answer: none at all, or one whose
// foreground belongs to someone else (reading it would stop this program).
bool AskTerminal(const char* text, const char* caption, unsigned type, int* answer)
{
    const int terminal = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (terminal < 0) return false;
    bool asked = false;
    if (tcgetpgrp(terminal) == getpgrp()) {
        const bool question = IsQuestion(type);
        const std::string prompt = OneLine(caption, text) + (question ? " [y/N] " : " [Enter] ");
        if (WriteText(terminal, prompt)) {
            asked = true;
            std::string reply;
            char c = 0;
            const int limit = gTimeLimitSeconds.load();
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(limit);
            bool inTime = true;
            while ((inTime = limit <= 0 || WaitForKey(terminal, deadline)) && Pipe::Read(terminal, &c, 1) == 1 &&
                   c != '\n')
                if (reply.size() < kMaxAnswer) reply += c;
            if (!inTime) reply.clear();  // nobody answered: the default
            if (!reply.empty() && reply.back() == '\r') reply.pop_back();
            const bool yes = strcasecmp(reply.c_str(), "y") == 0 || strcasecmp(reply.c_str(), "yes") == 0;
            *answer = question ? (yes ? IDYES : IDNO) : IDOK;
        }
    }
    close(terminal);
    return asked;
}
}  // namespace

int MessageBoxA(const char* text, const char* caption, unsigned type)
{
    if (!text) text = "";
    if (!caption) caption = "";
    const int defaultAnswer = IsQuestion(type) ? IDNO : IDOK;

    const char* forced = getenv("TESSEL_MESSAGEBOX");
    if (forced && *forced) {
        // Any value other than yes or no takes the default answer.
        int answer = defaultAnswer;
        if (IsQuestion(type) && strcasecmp(forced, "yes") == 0) answer = IDYES;
        ReportOnStderr(caption, text, answer);
        return answer;
    }

    int answer = defaultAnswer;
    if (HasDisplay() && AskProgram(text, caption, type, &answer)) return answer;
    if (AskTerminal(text, caption, type, &answer)) return answer;
    ReportOnStderr(caption, text, defaultAnswer);
    return defaultAnswer;
}

void SetMessageBoxTimeLimit(int seconds)
{
    gTimeLimitSeconds.store(seconds > 0 ? seconds : 0);
}

void SetMessageBoxProgram(const char* path)
{
    const std::lock_guard<std::mutex> lock(gProgramMutex);
    gProgram = path ? path : "";
}
