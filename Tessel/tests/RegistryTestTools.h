#pragma once
// The shared test helpers, plus writing a file of a test folder.
#include <fstream>
#include <string>

#include "ChildTestTools.h"

namespace childtest {
inline std::string WriteText(const TempDir& dir, const std::string& name, const std::string& text)
{
    std::ofstream(dir.Path(name), std::ios::binary) << text;
    return dir.Path(name);
}
}  // namespace childtest
