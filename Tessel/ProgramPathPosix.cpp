#include <cstdlib>
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
    std::string list = path;
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find(':', start);
        if (end == std::string::npos) end = list.size();
        std::string folder = list.substr(start, end - start);
        if (folder.empty()) folder = ".";
        if (folder.back() != '/') folder.push_back('/');
        if (IsExecutableFile((folder + program).c_str())) return TextBuffer(folder.c_str());
        start = end + 1;
    }
    return {};
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
