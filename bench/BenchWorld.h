#pragma once
// The private world the job benchmarks print in, all in one folder: settings
// and installation hives, a "Parsimo" virtual printer and a "Target" printer
// whose jobs land as PDF files in <world>/printers/Target/.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>

namespace benchworld {

// The user's settings: a virtual and a target printer, no dialog, and the
// value lines given (REGEDIT4 lines ending in "\r\n").
inline void WriteSettings(const std::filesystem::path& world, const std::string& values)
{
    std::ofstream(world / "etc/user.reg", std::ios::binary | std::ios::trunc)
        << "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\SOFTWARE\\QMVK\\Parsimo]\r\n"
        << values
        << "\"ShowDialog\"=dword:00000000\r\n\"PrinterName\"=\"Parsimo\"\r\n\"TargetPrinterName\"=\"Target\"\r\n";
}

inline void SetUpWorld(const std::filesystem::path& world)
{
    namespace fs = std::filesystem;
    for (const char* sub : {"etc", "user", "common", "install", "printers"}) fs::create_directories(world / sub);
    fs::copy_file(fs::path(PARSIMO_SOURCE_DIR) / "packaging/printers/Office.ppd", world / "printers/Parsimo.ppd");
    std::ofstream(world / "etc/machine.reg", std::ios::binary)
        << "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\QMVK\\Parsimo]\r\n\"InstallDir\"=\"" << world.string()
        << "/install/\"\r\n\"ProductVersion\"=\"1.0\"\r\n";
    WriteSettings(world, "");
    const std::pair<const char*, std::string> variables[] = {
        {"TESSEL_HKCU", (world / "etc/user.reg").string()},
        {"TESSEL_HKLM", (world / "etc/machine.reg").string()},
        {"TESSEL_APPDATA", (world / "user").string()},
        {"TESSEL_COMMON_APPDATA", (world / "common").string()},
        {"TESSEL_COMMON_DOCUMENTS", (world / "common").string()},
        {"TESSEL_PRINTERS", (world / "printers").string()},
        {"TESSEL_MESSAGEBOX", "stderr"},
    };
    for (const auto& [name, value] : variables) setenv(name, value.c_str(), 1);
}

// The target printer: the office printer's description, offering only `dpi`.
inline void SetTargetResolution(const std::filesystem::path& world, int dpi)
{
    std::ifstream in(std::filesystem::path(PARSIMO_SOURCE_DIR) / "packaging/printers/Office.ppd", std::ios::binary);
    std::ofstream out(world / "printers/Target.ppd", std::ios::binary | std::ios::trunc);
    const std::string own = std::to_string(dpi) + "dpi";
    for (std::string line; std::getline(in, line);) {
        if (line.starts_with("*DefaultResolution:")) line = "*DefaultResolution: " + own;
        if (line.starts_with("*Resolution ") && !line.starts_with("*Resolution " + own + "/")) continue;
        out << line << "\n";
    }
}

// The job the job benchmarks print, `pages` pages: each a title, text and a
// filled box; the colour job adds grey and coloured areas, which the
// 256-colour device dithers.
inline void WriteJob(const std::string& path, int pages, bool colour)
{
    std::ofstream job(path);
    job << "%!PS\n/Helvetica findfont 24 scalefont setfont\n1 1 " << pages
        << " { /n exch def 72 700 moveto (Page ) show n 10 string cvs show\n"
           "  /Helvetica findfont 11 scalefont setfont\n"
           "  0 1 30 { /l exch def 72 660 l 14 mul sub moveto\n"
           "    (The quick brown fox jumps over the lazy dog, again and again and again.) show } for\n"
           "  /Helvetica findfont 24 scalefont setfont\n"
           "  100 100 200 120 rectfill\n";
    if (colour)
        job << "  0.5 setgray 320 100 200 120 rectfill 0.8 0.1 0.1 setrgbcolor 72 230 moveto (Colour) show\n"
               "  0.2 0.4 0.8 setrgbcolor 320 230 150 60 rectfill 0 setgray\n";
    job << "  showpage } for\n";
}

}  // namespace benchworld
