#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "CommandLine.h"
#include "Pipe.h"
#include "Process.h"
#include "ProgramPath.h"

bool IsExecutableFile(const char* path)
{
    struct stat st {};
    return path && stat(path, &st) == 0 && S_ISREG(st.st_mode) && access(path, X_OK) == 0;
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
    const std::string commandLine = CommandLine::Join({executable, "--version"});
    Process process;
    if (!process.CreateChildProcess(commandLine.c_str(), false, 2, false)) return {};
    // Only the child may hold the write ends, or the read below never ends.
    CloseHandle(process.m_hChildStdoutWr);
    CloseHandle(process.m_hChildStdinWrDup);
    std::string output;
    char buffer[256];
    while (output.size() < 4096) {
        const long n = Pipe::Read(process.m_hChildStdoutRdDup, buffer, sizeof buffer);
        if (n <= 0) break;
        output.append(buffer, static_cast<size_t>(n));
    }
    process.ClosePipes();
    int status = 0;
    if (!process.Wait(&status) || status != 0) return {};
    const size_t lineEnd = output.find_first_of("\r\n");
    return TextBuffer(output.substr(0, lineEnd).c_str());
}
