#pragma once
// The printers the job tests print on.
#include <filesystem>
#include <initializer_list>
#include <string>

#include "TestWorld.h"

// Local printers from the packaged PPD: the virtual "Parsimo" and the target "Target" by default.
inline void AddPrinters(const testworld::World& world, std::initializer_list<const char*> names = {"Parsimo", "Target"})
{
    for (const char* name : names)
        std::filesystem::copy_file(std::filesystem::path(PARSIMO_SOURCE_DIR) / "packaging/printers/Office.ppd",
                                   world.root / "printers" / (std::string(name) + ".ppd"));
}
