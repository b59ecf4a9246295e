#pragma once
#include "TextBuffer.h"

// The folder (with a final '/') of the first executable `program` on PATH; null when none.
TextBuffer FindProgramFolder(const char* program);
bool IsExecutableFile(const char* path);
// First line that `<executable> --version` prints, without its line end; null on failure.
TextBuffer ProgramVersion(const char* executable);
