#include "Log.h"

#include <cstdarg>

#include "FixedText.h"

char gLogFileName[kMaxPath + 1] = "";
int gLogLevel = 2;
const uint32_t gLogMaxSize = 524288;

// Implemented by the platform file (LogPosix.cpp).
void WriteLogEntry(const char* text);
const char* SystemErrorText(int code, char* buffer, unsigned size);
int LastSystemError();

namespace {
void WriteFormatted(const char* format, va_list args) TESSEL_PRINTF(1, 0);
void WriteFormatted(const char* format, va_list args)
{
    if (!gLogFileName[0]) return;
    TextBuffer text;
    text.FormatV(format, args);
    WriteLogEntry(text.GetText() ? text.GetText() : "");
}
}  // namespace

void SetLogFileName(const char* path)
{
    CopyField(gLogFileName, path);
}

void LogMessage(int level, const char* format, ...)
{
    if (level < gLogLevel) return;
    va_list args;
    va_start(args, format);
    WriteFormatted(format, args);
    va_end(args);
}

void LogText(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    WriteFormatted(format, args);
    va_end(args);
}

void LogLastError(const char* file, int line, int level)
{
    if (level < gLogLevel) return;
    const int code = LastSystemError();
    char buffer[512];
    const char* text = SystemErrorText(code, buffer, sizeof buffer);
    if (file && text)
        LogText("Error Code %d in File %s, Line %d : %s\r\n", code, file, line, text);
    else if (file)
        LogText("Error Code %d in File %s, Line %d\r\n", code, file, line);
    else if (text)
        LogText("Error Code %d: %s\r\n", code, text);
    else
        LogText("Error Code %d\r\n", code);
}

const char* BaseFileName(const char* path)
{
    if (!path) return path;
    const char* base = path;
    for (const char* p = path; *p; ++p)
        if (*p == '/' || *p == '\\') base = p + 1;
    return base;
}
