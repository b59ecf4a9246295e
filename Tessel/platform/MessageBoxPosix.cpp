// Message boxes without a window system of our own: zenity on a desktop, a
// prompt on the controlling terminal, or a line on standard error.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <strings.h>
#include <termios.h>
#include <unistd.h>

#include "CommandLine.h"
#include "MessageBox.h"
#include "Pipe.h"
#include "Process.h"
#include "ProgramPath.h"

namespace {
constexpr unsigned kButtonMask = 0xF;
constexpr size_t kMaxAnswer = 256;

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

// False when zenity could not be run; *answer is the user's choice.
bool AskZenity(const char* text, const char* caption, unsigned type, int* answer)
{
    const TextBuffer folder = FindProgramFolder("zenity");
    if (!folder.GetText()) return false;
    const std::string zenity = std::string(folder.GetText()) + "zenity";
    const bool question = IsQuestion(type);
    const char* kind = question ? "--question" : (type & MB_ICONERROR) ? "--error" : "--info";
    // --no-markup: our texts hold file names, not Pango markup.
    const std::string commandLine = CommandLine::Join(
        {zenity, kind, "--no-markup", std::string("--title=") + caption, std::string("--text=") + text});
    Process box;
    int status = -1;
    if (!box.CreateChildProcess(commandLine.c_str(), true, 0, false) || !box.Wait(&status)) return false;
    *answer = question ? (status == 0 ? IDYES : IDNO) : IDOK;
    return true;
}

bool WriteText(int handle, const std::string& text)
{
    return Pipe::Write(handle, text.data(), text.size());
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
            while (Pipe::Read(terminal, &c, 1) == 1 && c != '\n')
                if (reply.size() < kMaxAnswer) reply += c;
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
    if (HasDisplay() && AskZenity(text, caption, type, &answer)) return answer;
    if (AskTerminal(text, caption, type, &answer)) return answer;
    ReportOnStderr(caption, text, defaultAnswer);
    return defaultAnswer;
}
