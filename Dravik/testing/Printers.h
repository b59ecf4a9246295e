#pragma once
// The printers the job tests print on, the settings that print there, and
// what lands in a folder.
#include <algorithm>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <vector>

#include "TestWorld.h"

namespace testworld {

// Local printers from the packaged PPD: the virtual "Parsimo" and the target "Target" by default.
inline void AddPrinters(const World& world, std::initializer_list<const char*> names = {"Parsimo", "Target"})
{
    for (const char* name : names)
        fs::copy_file(fs::path(PARSIMO_SOURCE_DIR) / "packaging/printers/Office.ppd",
                      world.root / "printers" / (std::string(name) + ".ppd"));
}

// No dialog; from the virtual printer onto the target at the given saving.
inline World::Values PrintSettings(uint32_t savings, uint32_t timeout = 600)
{
    return {{"ShowDialog", Dword(0)},
            {"SavingsPercentage", Dword(savings)},
            {"JobTimeout", Dword(timeout)},
            {"PrinterName", Sz("Parsimo")},
            {"TargetPrinterName", Sz("Target")}};
}

// The names in a folder that start with prefix, hidden ones included, sorted.
inline std::vector<std::string> NamesIn(const fs::path& folder, const std::string& prefix = "")
{
    std::vector<std::string> names;
    if (fs::is_directory(folder))
        for (const auto& entry : fs::directory_iterator(folder))
            if (entry.path().filename().string().starts_with(prefix)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

// The jobs the target printer received, in name order.
inline std::vector<fs::path> PrintedFiles(const World& world)
{
    std::vector<fs::path> files;
    for (const std::string& name : NamesIn(world.root / "printers/Target"))
        if (name.ends_with(".pdf")) files.push_back(world.root / "printers/Target" / name);
    return files;
}

}  // namespace testworld
