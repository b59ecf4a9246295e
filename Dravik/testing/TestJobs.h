#pragma once
// Small PostScript jobs and file helpers shared by the rendering tests.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "TestWorld.h"

using testworld::ReadAll;

// A BMP file of the given total length (at least 54): a file header that
// gives that length, an info header, and pixel bytes filled with fill.
inline std::string FakeBmpPage(uint32_t length, char fill)
{
    std::string page(length, fill);
    const uint32_t fields[] = {length, 0, 54, 40};  // at offsets 2, 6, 10, 14
    for (size_t f = 0; f < 4; ++f)
        for (size_t i = 0; i < 4; ++i) page[2 + 4 * f + i] = char((fields[f] >> (8 * i)) & 0xff);
    page[0] = 'B';
    page[1] = 'M';
    return page;
}

// Letter pages, each with its number in text and a black box.
inline std::string LetterJob(int pages)
{
    return "%!PS\n/Helvetica findfont 24 scalefont setfont\n1 1 " + std::to_string(pages) +
           " { /n exch def 72 700 moveto (Page ) show n 10 string cvs show\n"
           "  100 100 200 200 rectfill showpage } for\n";
}

// A job that writes far more text than a pipe holds before its one page.
inline std::string FloodJob(int lines)
{
    return "%!PS\n1 1 " + std::to_string(lines) +
           " { pop (Lorem ipsum dolor sit amet, consectetur adipiscing elit, sed do eiusmod tempor.\\n) print }"
           " for\n72 72 144 144 rectfill showpage\n";
}

inline void WriteWholeFile(const std::filesystem::path& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

// A fresh folder for one test under the build tree; its path ends in '/'.
inline std::string FreshFolder(const std::string& name)
{
    const std::filesystem::path folder = std::filesystem::path(TEST_BINARY_DIR) / "render-tests" / name;
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    return folder.string() + "/";
}

// Where page `page` of a STDOUT run lands in folder.
inline std::string PagePath(const std::string& folder, int page)
{
    char name[32];
    std::snprintf(name, sizeof name, "_dk_%04d.tm_", page);
    return folder + name;
}
