#pragma once
#include <string>
#include <vector>

// Names (without folder) of the plain files of this program's (effective)
// user in folder that match mask, with
// the Windows rules: '?' one character, '*' any run, a final ".*" also
// matching a name without extension, ASCII letters without regard to case.
std::vector<std::string> FindFiles(const char* folder, const char* mask);
bool MatchesMask(const char* name, const char* mask);
// A figure that changes whenever a plain file in the folder is added,
// removed, or changes in size or time of writing; 0 for a missing folder.
unsigned long long FolderState(const char* folder);
