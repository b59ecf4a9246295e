#pragma once
#include "TextBuffer.h"

// The folder (with a final '/') of the first executable `program` on PATH; null when none.
TextBuffer FindProgramFolder(const char* program);
bool IsExecutableFile(const char* path);
// The folder (with a final '/') of the running program's own file, links
// resolved; null when the system cannot say.
TextBuffer OwnProgramFolder();
// First line that `<executable> --version` prints, without its line end; null on failure.
TextBuffer ProgramVersion(const char* executable);
// The name of the one subfolder of `folder` that is a version number (a
// digit, then digits and dots), where an installation keeps its versioned
// files (<prefix>/share/<program>/10.00.0/); null when there is none or more
// than one. Learns the version without starting the program.
TextBuffer InstalledVersion(const char* folder);
