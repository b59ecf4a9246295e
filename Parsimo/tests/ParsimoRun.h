#pragma once
// Runs the built settings program inside a test world (TestWorld.h).
#include <string>
#include <vector>

#include "TestWorld.h"

inline testworld::RunResult Parsimo(const std::vector<std::string>& args)
{
    std::vector<std::string> argv = {PARSIMO_EXE};
    argv.insert(argv.end(), args.begin(), args.end());
    return testworld::World::Run(argv);
}

// A local printer of that name, described by the packaged PPD.
inline void AddLocalPrinter(testworld::World& world, const std::string& name)
{
    std::filesystem::copy_file(std::filesystem::path(PARSIMO_SOURCE_DIR) / "packaging/printers/Office.ppd",
                               world.root / "printers" / (name + ".ppd"));
}
