#include "GhostScript.h"

#include <cstdarg>
#include <cstring>
#include <string>

#include "CommandLine.h"
#include "File.h"
#include "Process.h"
#include "ProgramPath.h"
#include "RegistryKey.h"
#include "SysUtils.h"

namespace {
constexpr const char* kOptionFileName = "QrxWrite.cfg";
// The option file name keeps room for its own name behind the folder.
constexpr size_t kOptionFolderLimit = 248;

// Reads GS_DLL and GS_LIB of one installation key; true when the key opened.
bool ReadInstallationKey(const char* subkey, GhostScript& gs)
{
    try {
        RegistryKey key(HKEY_LOCAL_MACHINE);
        key.OpenForRead(subkey);
        key.GetString("GS_DLL", gs.GSPath, kMaxPath);
        key.GetString("GS_LIB", gs.GSLibPath, kMaxPath);
        // The search path goes quoted onto a line of the option file: a quote
        // or line break in it would add options of its own (such as -dNOSAFER).
        if (std::strpbrk(gs.GSLibPath, "\"\r\n") != nullptr) {
            LogText("[GhostScript] GS_LIB of %s holds a quote or line break and is ignored.\r\n", subkey);
            gs.GSLibPath[0] = '\0';
        }
        return true;
    } catch (...) {
        return false;
    }
}

TextBuffer Join(const char* first, const char* second)
{
    TextBuffer joined(first);
    joined.Append(second);
    return joined;
}

void AppendQuoted(TextBuffer& line, const char* argument)
{
    line.Append(CommandLine::Quote(argument).c_str());
}
}  // namespace

GhostScript::GhostScript(const char* dataDir, const char* version)
{
    CopyField(GSDataDir, dataDir);
    CopyField(GSVersion, version);

    if (std::strcmp(GSVersion, "7.05") != 0) {
        if (ReadInstallationKey("SOFTWARE\\GPL\\Ghostscript\\8.54", *this)) CopyField(GSVersion, "8.54");
        if (!GSPath[0] && ReadInstallationKey("SOFTWARE\\GPL Ghostscript\\8.54", *this)) CopyField(GSVersion, "8.54");
    }
    if (!GSPath[0] && ReadInstallationKey("SOFTWARE\\GNU Ghostscript\\7.05", *this)) CopyField(GSVersion, "7.05");

    if (GSPath[0]) {
        // The key names a file of the installation; the executable lies beside it.
        if (char* slash = std::strrchr(GSPath, '/')) slash[1] = '\0';
        EnsureTrailingSlash(GSPath);
        const TextBuffer executable = Join(GSPath, GSExecutable);
        if (!IsExecutableFile(executable.GetText())) {
            LogText("[GhostScript] %s is not an executable; looking on PATH.\r\n", executable.GetText());
            GSPath[0] = '\0';
        }
    }
    if (!GSPath[0]) {
        const TextBuffer folder = FindProgramFolder(GSExecutable);
        if (folder.GetText()) {
            CopyField(GSPath, folder.GetText());
            EnsureTrailingSlash(GSPath);
            // The installation names its version beside the program; asking the
            // program itself holds the job up by a start of Ghostscript.
            TextBuffer found = InstalledVersion(Join(GSPath, "../share/ghostscript/").GetText());
            if (!found.GetText()) found = ProgramVersion(Join(GSPath, GSExecutable).GetText());
            if (found.GetText() && found.GetLength() > 0) CopyField(GSVersion, found.GetText());
        }
    }
}

GhostScript::~GhostScript() = default;

void GhostScript::LogSettings() const
{
    LogText("[GhostScript]\r\n");
    LogText("  - GSVersion = %s\r\n", GSVersion);
    LogText("  - GSPath = %s\r\n", GSPath);
    LogText("  - GSLibPath = %s\r\n", GSLibPath);
    LogText("  - GSExecutable = %s\r\n", GSExecutable);
    LogText("  - GSDevice = %s\r\n", GSDevice);
    LogText("  - GSPaperSize = %s\r\n", GSPaperSize);
    LogText("  - GSOutputFile = %s\r\n", GSOutputFile);
    LogText("  - GSTempFile = %s\r\n", GSTempFile);
    LogText("  - GSInputFile = %s\r\n", GSInputFile);
    LogText("  - GSDataDir = %s\r\n", GSDataDir);
    LogText("  - GSResolution = %d\r\n", GSResolution);
    LogText("  - GSOutputMethod = %s\r\n", GSOutputMethod == STDOUT ? "STDOUT" : "FILEOUT");
    LogText("\r\n");
}

void GhostScript::WriteOptionLine(File& file, const char* format, ...)
{
    TextBuffer line;
    va_list args;
    va_start(args, format);
    try {
        line.FormatV(format, args);
    } catch (...) {
        va_end(args);
        throw;
    }
    va_end(args);
    file.Write(line.GetText(), static_cast<size_t>(line.GetLength()));
}

bool GhostScript::WriteOptionFile(const char* outputFolder, TextBuffer& commandLine)
{
    char optionFile[kMaxPath + 1];
    CopyField(optionFile, std::string(GSDataDir, strnlen(GSDataDir, kOptionFolderLimit)).c_str());
    std::strncat(optionFile, kOptionFileName, sizeof optionFile - std::strlen(optionFile) - 1);

    File file;
    if (!file.Create(optionFile)) {
        LogMessage(2, "[GhostScript] Could not create the %s file.\r\n", optionFile);
        return false;
    }
    WriteOptionLine(file, " -I\"%s\"\r\n", GSLibPath);
    WriteOptionLine(file, " -sDEVICE=%s\r\n", GSDevice);
    WriteOptionLine(file, " -sPAPERSIZE=%s\r\n", GSPaperSize);
    WriteOptionLine(file, " -r%d\r\n", GSResolution);
    WriteOptionLine(file, " -dCompatibilityLevel=1.4\r\n");
    WriteOptionLine(file, " -dNOPAUSE\r\n");
    WriteOptionLine(file, " -dBATCH\r\n");
    WriteOptionLine(file, " -dNOPROMPT\r\n");
    WriteOptionLine(file, " -dSAFER\r\n");
    WriteOptionLine(file, " -dCOLORSCREEN\r\n");
    WriteOptionLine(file, " -dEncodeColorImages=true\r\n");
    WriteOptionLine(file, " -dAutoFilterColorImages=false\r\n");
    WriteOptionLine(file, " -dColorImageFilter=/FlateEncode\r\n");
    if (!file.Close()) {
        LogMessage(2, "[GhostScript] Could not create the %s file.\r\n", optionFile);
        return false;
    }

    // Built in a growing buffer, every path quoted: no length limit, and
    // folders or inputs with blanks reach Ghostscript as one argument each.
    commandLine.Assign("");
    AppendQuoted(commandLine, Join(GSPath, GSExecutable).GetText());
    commandLine.Append(" ");
    AppendQuoted(commandLine, Join("@", optionFile).GetText());
    commandLine.Append(" ");
    if (GSOutputMethod == STDOUT) {
        commandLine.Append("-sOutputFile=-  -q -sstdout=%stderr -f ");
    } else {
        // Ghostscript reads '%' in an output name as a page number format:
        // a folder's own '%' is doubled to stay a plain character.
        std::string folder;
        for (const char* p = outputFolder ? outputFolder : ""; *p; ++p) {
            if (*p == '%') folder += '%';
            folder += *p;
        }
        const TextBuffer output = Join(folder.c_str(), GSOutputFile);
        AppendQuoted(commandLine, Join("-sOutputFile=", output.GetText()).GetText());
        commandLine.Append("  -q  -f ");
    }
    if (std::strcmp(GSInputFile, "-_") == 0)
        commandLine.Append(GSInputFile);
    else
        AppendQuoted(commandLine, GSInputFile);
    return true;
}
