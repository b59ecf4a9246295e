// The desktop part of the settings program, in a package of its own so that
// the rest installs on a server without a window system: the settings dialog
// and the job processor's message boxes. `Parsimo` hands these commands over.
#include <glib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "Log.h"
#include "MessageWindow.h"
#include "SettingsDialog.h"
#include "SysUtils.h"

namespace {
// The longest time limit the job processor may ask a window for: a day.
constexpr long kMaxLimit = 86400;

// A time limit in seconds, or -1 when the text is not one.
long Seconds(const std::string& text)
{
    char* end = nullptr;
    const long limit = text.empty() ? -1 : std::strtol(text.c_str(), &end, 10);
    return !text.empty() && *end == '\0' && limit > 0 && limit <= kMaxLimit ? limit : -1;
}

int Dialog(int argc, char**)
{
    if (argc > 1) {
        std::fprintf(stderr, "Parsimo: the dialog takes no arguments.\n");
        return 2;
    }
    // Set by the job processor when nobody need be at the screen; anything
    // but a plain number in range leaves the dialog without a limit.
    const std::string limitText = GetEnvironmentText("PARSIMO_DIALOG_TIMEOUT");
    const long limit = Seconds(limitText);
    if (!limitText.empty() && limit < 0)
        std::fprintf(stderr, "Parsimo: PARSIMO_DIALOG_TIMEOUT=%s is not a number of seconds; it is ignored.\n",
                     limitText.c_str());
    return SettingsDialog::Run(limit > 0 ? static_cast<int>(limit) : 0);
}

// The dialog from the desktop's menu: no job waits for it.
int SettingsOnly(int argc, char**)
{
    if (argc > 1) {
        std::fprintf(stderr, "Parsimo: /settings takes no arguments.\n");
        return 2;
    }
    return SettingsDialog::Run(0, SettingsDialog::Purpose::SettingsOnly);
}

// /message --kind=question|error|info --title=CAPTION --text=TEXT [--timeout=SECONDS]
int Message(int argc, char** argv)
{
    const char* kind = nullptr;
    const char* title = "";
    const char* text = nullptr;
    long limit = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        if (word.rfind("--kind=", 0) == 0)
            kind = argv[i] + 7;
        else if (word.rfind("--title=", 0) == 0)
            title = argv[i] + 8;
        else if (word.rfind("--text=", 0) == 0)
            text = argv[i] + 7;
        else if (word.rfind("--timeout=", 0) == 0 && (limit = Seconds(word.substr(10))) > 0)
            continue;
        else {
            std::fprintf(stderr, "Parsimo: /message does not take '%s'.\n", argv[i]);
            return 2;
        }
    }
    MessageWindow::Kind chosen = MessageWindow::Kind::Information;
    if (kind && std::strcmp(kind, "question") == 0)
        chosen = MessageWindow::Kind::Question;
    else if (kind && std::strcmp(kind, "error") == 0)
        chosen = MessageWindow::Kind::Error;
    else if (!kind || std::strcmp(kind, "info") != 0 || !text) {
        std::fprintf(stderr, "Parsimo: /message needs --kind=question|error|info and --text=TEXT.\n");
        return 2;
    }
    return MessageWindow::Run(chosen, title, text, static_cast<int>(limit));
}

// The toolkit's messages into the log file: on standard error a job's queue
// would show them as the reason the job failed. Notes and debugging output
// are left out, as on a terminal.
GLogWriterOutput WriteToLog(GLogLevelFlags level, const GLogField* fields, gsize count, gpointer)
{
    if (level & (G_LOG_LEVEL_INFO | G_LOG_LEVEL_DEBUG)) return G_LOG_WRITER_HANDLED;
    const char* domain = "GLib";
    const char* message = "";
    for (gsize i = 0; i < count; ++i) {
        if (fields[i].length >= 0) continue;  // only texts matter here
        if (std::strcmp(fields[i].key, "GLIB_DOMAIN") == 0) domain = static_cast<const char*>(fields[i].value);
        if (std::strcmp(fields[i].key, "MESSAGE") == 0) message = static_cast<const char*>(fields[i].value);
    }
    const bool warning = level & (G_LOG_LEVEL_ERROR | G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_WARNING);
    LogMessage(warning ? 2 : 1, "%s%s: %s\r\n", domain, warning ? " warning" : "", message);
    return G_LOG_WRITER_HANDLED;
}

struct Command {
    const char* name;
    int (*run)(int argc, char** argv);
};

const Command kCommands[] = {
    {"/dialog", Dialog},          {"--dialog", Dialog},  {"/settings", SettingsOnly},
    {"--settings", SettingsOnly}, {"/message", Message},
};
}  // namespace

int main(int argc, char** argv)
{
    const std::string logFile = GetEnvironmentText("TESSEL_LOGFILE");
    if (!logFile.empty()) {
        SetLogFileName(logFile.c_str());
        g_log_set_writer_func(WriteToLog, nullptr, nullptr);
    }
    if (argc >= 2)
        for (const Command& command : kCommands)
            if (std::strcmp(argv[1], command.name) == 0) return command.run(argc - 1, argv + 1);
    std::fprintf(stderr, "Parsimo: this program shows the windows of 'Parsimo /dialog', '/settings' and "
                         "'/message'.\nTry 'Parsimo --help'.\n");
    return 2;
}
