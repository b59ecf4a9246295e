#include "OutputBuffering.h"

#include <string>

#include "CommandLine.h"
#include "ProgramPath.h"

TextBuffer OutputBuffering::Wrap(const char* commandLine)
{
    const TextBuffer folder = FindProgramFolder("stdbuf");
    if (!commandLine || !folder.GetText()) return TextBuffer(commandLine);
    const std::string program = std::string(folder.GetText()) + "stdbuf";
    const std::string option = "-o" + std::to_string(kBufferBytes);
    const std::string wrapped = CommandLine::Join({program, option}) + " " + commandLine;
    return TextBuffer(wrapped.c_str());
}
