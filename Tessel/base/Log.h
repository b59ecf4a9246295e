#pragma once
#include <cstdint>

#include "TextBuffer.h"

// Process-wide diagnostic log. Every entry is stamped with the local time and
// written straight to disk under an exclusive lock on the file.
constexpr int kMaxPath = 260;

extern char gLogFileName[kMaxPath + 1];
extern int gLogLevel;
extern const uint32_t gLogMaxSize;

void LogMessage(int level, const char* format, ...) TESSEL_PRINTF(2, 3);
void LogText(const char* format, ...) TESSEL_PRINTF(1, 2);
// Logs the calling thread's last system error (errno) with the system's text.
void LogLastError(const char* file, int line, int level);
// The part of a path behind its last separator.
const char* BaseFileName(const char* path);
// Cuts the log to its newest half once it has reached gLogMaxSize.
bool TrimLogFile();
// Appends text at the end of an open log file, under a byte-range lock.
void AppendToLog(int file, const char* text);
// Names the log file (cut at 260 characters); an empty or null name stops logging.
void SetLogFileName(const char* path);

// How long a writer waits for another writer that holds the file.
constexpr int kLogBusyWaitMs = 2000;

#define LOG_LAST_ERROR(level) LogLastError(BaseFileName(__FILE__), __LINE__, (level))
