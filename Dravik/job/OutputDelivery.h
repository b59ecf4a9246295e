#pragma once
#include <string>
#include <string_view>

// Saves the files of a FILEOUT run in the output folder under names made from
// the document's title, never replacing anything there, and shows the first
// to the user. False (logged) when they could not be saved: the working files
// then stay for the next job's clean-up.
bool DeliverOutput();

// The folder output is saved in, without its final '/': the OutputFolder
// setting when it is an absolute path, else "Parsimo" in the user's
// documents folder; empty when neither can be found.
std::string OutputFolderPath(const char* setting);
// The documents folder a user-dirs.dirs text names (XDG_DOCUMENTS_DIR, as
// "$HOME/..." or an absolute path); empty when it names none.
std::string DocumentsFolderOf(std::string_view userDirs, const std::string& home);
// A document's title made fit to be one file name in a folder: no '/', no
// control characters, no leading '.' or space, a printed file's extension
// dropped, at most 150 bytes; "Document" when nothing is left.
std::string SafeFileStem(const char* title);
