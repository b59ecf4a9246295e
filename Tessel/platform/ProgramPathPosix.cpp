#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "CommandLine.h"
#include "Process.h"
#include "ProgramPath.h"

bool IsExecutableFile(const char* path)
{
    struct stat st { };
    return path && stat(path, &st) == 0 && S_ISREG(st.st_mode) && access(path, X_OK) == 0;
}

TextBuffer OwnProgramFolder()
{
    char path[4096];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) return {};
    path[length] = '\0';
    char* slash = std::strrchr(path, '/');
    if (!slash) return {};
    slash[1] = '\0';
    return TextBuffer(path);
}

TextBuffer FindProgramFolder(const char* program)
{
    const char* path = std::getenv("PATH");
    if (!program || !*program || !path) return {};
    for (const char* entry = path;; ++entry) {
        const char* end = std::strchr(entry, ':');
        if (!end) end = entry + std::strlen(entry);
        TextBuffer folder(entry == end ? "." : std::string(entry, end).c_str());
        if (folder.GetText()[folder.GetLength() - 1] != '/') folder.Append("/");
        TextBuffer candidate(folder);
        candidate.Append(program);
        if (IsExecutableFile(candidate.GetText())) return folder;
        if (!*end) return {};
        entry = end;
    }
}

TextBuffer ProgramVersion(const char* executable)
{
    if (!executable || !*executable) return {};
    std::string output;
    int status = 0;
    if (!Process::RunForOutput(CommandLine::Join({executable, "--version"}).c_str(), output, &status, 4096) ||
        status != 0)
        return {};
    return TextBuffer(output.substr(0, output.find_first_of("\r\n")).c_str());
}

TextBuffer InstalledVersion(const char* folder)
{
    if (!folder || !*folder) return {};
    struct DirCloser {
        void operator()(DIR* d) const { closedir(d); }
    };
    std::unique_ptr<DIR, DirCloser> dir(opendir(folder));
    if (!dir) return {};
    std::string found;
    int versions = 0;
    while (const dirent* entry = readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (name.empty() || name.size() > 32 || name[0] < '0' || name[0] > '9' ||
            name.find_first_not_of("0123456789.") != std::string::npos)
            continue;
        struct stat info { };
        if (fstatat(dirfd(dir.get()), name.c_str(), &info, 0) != 0 || !S_ISDIR(info.st_mode)) continue;
        found = name;
        ++versions;
    }
    return versions == 1 ? TextBuffer(found.c_str()) : TextBuffer();
}
