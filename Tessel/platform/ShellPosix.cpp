// Opening a file for the user through the desktop's associations (xdg-utils).
#include <cstdlib>
#include <filesystem>
#include <string>

#include "CommandLine.h"
#include "Process.h"
#include "ProgramPath.h"
#include "Shell.h"

namespace {
// Any value above 32 means success to callers; this one has no other meaning.
constexpr int kOpened = 42;

std::string Trimmed(const std::string& text)
{
    const char* blanks = " \t\r\n";
    const size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

// The file's type as xdg-mime sees it (by content and name), else by our
// own table of extensions; empty when neither knows it.
std::string FileType(const std::string& xdgMime, const char* path, bool isFolder)
{
    if (isFolder) return "inode/directory";
    std::string output;
    int status = -1;
    if (Process::RunForOutput(CommandLine::Join({xdgMime, "query", "filetype", path}).c_str(), output, &status) &&
        status == 0) {
        std::string type = Trimmed(output);
        // A type is one token such as "application/pdf"; anything else is noise.
        if (!type.empty() && type.find_first_of(" \t\r\n") == std::string::npos && type.find('/') != std::string::npos)
            return type;
    }
    const char* known = MimeTypeByExtension(path);
    return known ? known : std::string();
}

// False only when xdg-mime answers that no application takes this type.
bool HasDefaultApplication(const char* path, bool isFolder)
{
    const TextBuffer folder = FindProgramFolder("xdg-mime");
    if (!folder.GetText()) return true;  // nothing to ask; the opener decides
    const std::string xdgMime = std::string(folder.GetText()) + "xdg-mime";
    const std::string type = FileType(xdgMime, path, isFolder);
    if (type.empty()) return false;
    std::string output;
    if (!Process::RunForOutput(CommandLine::Join({xdgMime, "query", "default", type}).c_str(), output)) return true;
    return !Trimmed(output).empty();
}
}  // namespace

int ShellOpen(const char* path)
{
    if (!path || !*path) return SE_ERR_FNF;
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(path, error);
    if (error || !std::filesystem::exists(status)) return SE_ERR_FNF;
    const bool isFolder = std::filesystem::is_directory(status);

    const char* chosen = getenv("TESSEL_OPENER");
    const bool custom = chosen && *chosen;
    if (!custom && !HasDefaultApplication(path, isFolder)) return SE_ERR_NOASSOC;

    // Not waited for: the viewer outlives us, and the Process reaps it when
    // it ends.
    Process opener;
    const std::string commandLine = CommandLine::Join({custom ? chosen : "xdg-open", path});
    if (!opener.CreateChildProcess(commandLine.c_str(), true, 0, false)) return SE_ERR_FNF;
    return kOpened;
}
