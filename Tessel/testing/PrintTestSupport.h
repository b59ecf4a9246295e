#pragma once
// Helpers for the printing tests: local printers in a scratch folder, page
// bitmaps with a keep/drop pattern, and reading PDF output back with poppler
// or Ghostscript.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "CommandLine.h"
#include "Dib.h"
#include "Process.h"
#include "ScratchFolder.h"

namespace printtest {

// Letter with margins (left 0.25 in, bottom 0.5 in, right 0.25 in, top 0.5 in),
// A4 and Legal without; 300 and 600 dpi, 600 by default.
inline const char* const kPpd = R"(*PPD-Adobe: "4.3"
*DefaultPageSize: Letter
*ImageableArea Letter/US Letter: "18 36 594 756"
*PaperDimension Letter/US Letter: "612 792"
*PaperDimension A4/A4: "595 842"
*PaperDimension Legal/US Legal: "612 1008"
*DefaultResolution: 600dpi
*Resolution 300dpi/300 DPI: ""
*Resolution 600dpi/600 DPI: ""
)";

// A printers folder named by TESSEL_PRINTERS for one scope.
class LocalPrinters {
public:
    LocalPrinters() : m_env("TESSEL_PRINTERS", m_folder.Path().c_str()) { }
    void Add(const std::string& name, const std::string& ppd = kPpd) { m_folder.Write(name + ".ppd", ppd); }
    std::string Folder(const std::string& name = {}) const { return m_folder.Path(name); }
    std::string JobFile(const std::string& name, int id) const
    {
        return Folder(name + "/job-" + std::to_string(id) + ".pdf");
    }

private:
    ScratchFolder m_folder;
    ScopedVariable m_env;
};

// Ink where the pattern keeps a pixel: a 5 x 3 cell in which (x + 2y) % 5 and
// x % 3 == 1 drop; distinct enough that any shift or smoothing shows.
inline bool IsInk(int x, int y)
{
    return (x + 2 * y) % 5 != 0 && x % 3 != 1;
}

// An 8-bit bottom-up section holding the pattern, with black (0) and white
// (1) in its table.
class PatternPage {
public:
    PatternPage(int width, int height) : m_bmp(CreateDibSection(width, height, 8, BI_RGB, kTable, 2, nullptr))
    {
        auto* bits = m_bmp ? static_cast<uint8_t*>(m_bmp->ds.dsBm.bmBits) : nullptr;
        for (int y = 0; bits && y < height; ++y)
            for (int x = 0; x < width; ++x)
                bits[(height - 1 - y) * m_bmp->ds.dsBm.bmWidthBytes + x] = IsInk(x, y) ? 0 : 1;
    }
    ~PatternPage() { DeleteObject(m_bmp); }
    PatternPage(const PatternPage&) = delete;
    PatternPage& operator=(const PatternPage&) = delete;
    HBITMAP Get() const { return m_bmp; }

private:
    static constexpr RGBQUAD kTable[2] = {{0, 0, 0, 0}, {255, 255, 255, 0}};
    HBITMAP m_bmp;
};

// Part of one PDF page as 0x00RRGGBB pixels.
struct Raster {
    int width = 0;
    int height = 0;
    std::string rgb;
    uint32_t At(int x, int y) const
    {
        const auto* p = reinterpret_cast<const unsigned char*>(rgb.data()) + 3 * (static_cast<size_t>(y) * width + x);
        return (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2];
    }
};

// Rasterizes the w x h area at (x, y) of a page by "pdftoppm", or the whole
// page by "gs", which knows no such area.
inline bool Rasterize(const std::string& tool, const std::string& pdf, int page, int dpi, int x, int y, int w, int h,
                      Raster& out)
{
    const std::string p = std::to_string(page), r = std::to_string(dpi);
    const std::string command =
        tool == "gs" ? CommandLine::Join({"gs", "-q", "-dNOPAUSE", "-dBATCH", "-dSAFER", "-sDEVICE=ppmraw", "-r" + r,
                                          "-dFirstPage=" + p, "-dLastPage=" + p, "-sOutputFile=-", pdf})
                     : CommandLine::Join({"pdftoppm", "-r", r, "-f", p, "-l", p, "-x", std::to_string(x), "-y",
                                          std::to_string(y), "-W", std::to_string(w), "-H", std::to_string(h), pdf});
    std::string ppm;
    if (!Process::RunForOutput(command.c_str(), ppm, nullptr, 64u << 20)) return false;
    // "P6", perhaps "#" comment lines, width, height, 255, one blank, the pixels.
    std::istringstream in(ppm);
    std::string magic, comment;
    int maxValue = 0;
    in >> magic >> std::ws;
    while (in.peek() == '#') std::getline(in, comment);
    in >> out.width >> out.height >> maxValue;
    const size_t count = static_cast<size_t>(out.width) * static_cast<size_t>(out.height);
    const size_t at = static_cast<size_t>(in.tellg()) + 1;
    if (!in || magic != "P6" || out.width <= 0 || out.height <= 0 || maxValue != 255 || ppm.size() < at + 3 * count)
        return false;
    out.rgb = ppm.substr(at, 3 * count);
    return true;
}

// "612 x 792" for each page, from pdfinfo, rounded to whole points: spoolers
// keep sizes in hundredths of a millimetre.
inline std::vector<std::string> PageSizes(const std::string& pdf)
{
    std::string info;
    Process::RunForOutput(CommandLine::Join({"pdfinfo", "-f", "1", "-l", "99", pdf}).c_str(), info);
    std::vector<std::string> sizes;
    std::istringstream lines(info);
    double w = 0, h = 0;
    for (std::string line; std::getline(lines, line);)
        if (line.rfind("Page ", 0) == 0 && sscanf(line.c_str() + line.find(':') + 1, " %lf x %lf", &w, &h) == 2)
            sizes.push_back(std::to_string(std::lround(w)) + " x " + std::to_string(std::lround(h)));
    return sizes;
}

// Checks that the area at (left, top) of the raster holds the pattern of a
// cols x rows bitmap, each source pixel scale x scale device pixels, with a
// white border of one device pixel around it.
inline void ExpectPattern(const Raster& r, int left, int top, int cols, int rows, int scale)
{
    int wrong = 0;
    for (int y = top - 1; y <= top + rows * scale; ++y)
        for (int x = left - 1; x <= left + cols * scale; ++x) {
            const bool inside = x >= left && y >= top && x < left + cols * scale && y < top + rows * scale;
            const uint32_t expected = inside && IsInk((x - left) / scale, (y - top) / scale) ? 0 : 0xFFFFFFu;
            if (r.At(x, y) != expected && ++wrong <= 5)
                ADD_FAILURE() << "device pixel (" << x << ", " << y << ") is " << std::hex << r.At(x, y);
        }
    EXPECT_EQ(wrong, 0);
}

}  // namespace printtest
