// The settings program: a command line over the settings and the report, and
// the way in to the windows of the desktop part. Each command gets the words
// from its own name on.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "AppEnvironment.h"
#include "OtherUser.h"
#include "Process.h"
#include "ProgramPath.h"
#include "ReportCommand.h"
#include "SettingsCommand.h"

namespace {
// The program of the package parsimo-gtk, beside this one, that shows the
// windows: the settings dialog and the job processor's message boxes.
constexpr const char* kDesktopProgram = "ParsimoGtk";
// The exit status when it is not installed; the job processor then goes on
// as without a dialog, and a message box falls back to the terminal.
constexpr int kDesktopMissing = 4;

// The windows are left to the desktop program, which takes this process's
// place (the job processor waits for, and may end, this very process).
int Desktop(int argc, char** argv)
{
    const TextBuffer folder = OwnProgramFolder();
    const std::string program = std::string(folder.GetText() ? folder.GetText() : "") + kDesktopProgram;
    if (!folder.GetText() || !IsExecutableFile(program.c_str())) {
        std::fprintf(stderr, "Parsimo: %s needs the package parsimo-gtk, which is not installed.\n", argv[0]);
        return kDesktopMissing;
    }
    std::vector<std::string> arguments = {program};
    arguments.insert(arguments.end(), argv, argv + argc);
    Process::Replace(program.c_str(), arguments);
    std::fprintf(stderr, "Parsimo: %s could not be started: %s.\n", program.c_str(), std::strerror(errno));
    return kDesktopMissing;
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
                "2 bad command line (nothing changed), 4 the dialog's package (parsimo-gtk) is not\n"
                "installed. See Parsimo(1).\n");
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
    {"/dialog", Desktop},
    {"--dialog", Desktop},
    {"/settings", Desktop},
    {"--settings", Desktop},
    {"/message", Desktop},
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
