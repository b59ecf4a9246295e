// The settings program: the dialog before a job, and a command line over the
// same settings. Each command gets the words from its own name on.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>

#include "AppEnvironment.h"
#include "OtherUser.h"
#include "ReportCommand.h"
#include "SettingsCommand.h"
#include "SettingsDialog.h"
#include "SysUtils.h"

namespace {
// The longest time limit the job processor may ask the dialog for: a day.
constexpr long kMaxDialogLimit = 86400;

int Dialog(int argc, char**)
{
    if (argc > 1) {
        std::fprintf(stderr, "Parsimo: the dialog takes no arguments.\n");
        return 2;
    }
    // Set by the job processor when nobody need be at the screen; anything
    // but a plain number in range leaves the dialog without a limit.
    const std::string limitText = GetEnvironmentText("PARSIMO_DIALOG_TIMEOUT");
    char* end = nullptr;
    const long limit = limitText.empty() ? 0 : std::strtol(limitText.c_str(), &end, 10);
    const bool valid = !limitText.empty() && *end == '\0' && limit > 0 && limit <= kMaxDialogLimit;
    if (!limitText.empty() && !valid)
        std::fprintf(stderr, "Parsimo: PARSIMO_DIALOG_TIMEOUT=%s is not a number of seconds; it is ignored.\n",
                     limitText.c_str());
    return SettingsDialog::Run(valid ? static_cast<int>(limit) : 0);
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

int Help(int, char**)
{
    std::printf("Usage: Parsimo COMMAND\n"
                "Looks over and changes the toner-saving printer's settings for the current user.\n\n"
                "  /dialog, --dialog          show the settings dialog (the job processor starts it before a job)\n"
                "  /settings, --settings      show the settings dialog without a job: Save or Close\n"
                "  settings                   list every setting as 'Name = value'\n"
                "  get NAME                   print one setting's value\n"
                "  set NAME VALUE ... [--force]\n"
                "                             change settings; every pair is checked before any is stored,\n"
                "                             and --force accepts a target printer that is not installed\n"
                "  printers                   list the target printers, the system's default marked '*'\n"
                "  settings|get|set ... --user NAME\n"
                "                             the same for another user (root only), as their jobs read them:\n"
                "                             a remote user's are the print server's, kept per name\n"
                "  report [OPTIONS]           pages printed and toner saved, from the usage statistics\n"
                "                             (see 'Parsimo report --help')\n"
                "  --help                     show this text\n"
                "  --version                  show the installed version\n\n"
                "Setting names are matched without regard to case. Exit status: 0 done, 1 failure,\n"
                "2 bad command line (nothing changed). See Parsimo(1).\n");
    return std::fflush(stdout) == 0 ? 0 : 1;
}

// The report takes the words after its own name.
int Report(int argc, char** argv)
{
    return RunReport(argc - 1, argv + 1);
}

int Version(int, char**)
{
    const char* version = PARSIMO_VERSION;
    char installed[kMaxPath + 1] = "";
    try {
        const AppEnvironment env;
        std::memcpy(installed, env.ProductVersion, sizeof installed);
    } catch (const std::exception&) {
        // Not installed: the build's own version stands.
    }
    std::printf("Parsimo %s\n", installed[0] ? installed : version);
    return std::fflush(stdout) == 0 ? 0 : 1;
}

struct Command {
    const char* name;
    int (*run)(int argc, char** argv);
    bool forOtherUsers = false;  // takes --user NAME
};

const Command kCommands[] = {
    {"/dialog", Dialog},
    {"--dialog", Dialog},
    {"/settings", SettingsOnly},
    {"--settings", SettingsOnly},
    {"settings", SettingsCommand::List, true},
    {"get", SettingsCommand::Get, true},
    {"set", SettingsCommand::Set, true},
    {"printers", SettingsCommand::Printers},
    {"report", Report},
    {"--help", Help},
    {"-h", Help},
    {"--version", Version},
};
}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "Parsimo: no command given.\nTry 'Parsimo --help'.\n");
        return 2;
    }
    for (const Command& command : kCommands) {
        if (std::strcmp(argv[1], command.name) != 0) continue;
        if (command.forOtherUsers && OtherUser::Asked(argc - 1, argv + 1))
            return OtherUser::Run(command.run, argc - 1, argv + 1);
        return command.run(argc - 1, argv + 1);
    }
    std::fprintf(stderr, "Parsimo: unknown command '%s'.\nTry 'Parsimo --help'.\n", argv[1]);
    return 2;
}
