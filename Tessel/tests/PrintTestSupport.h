#pragma once
// Helpers for the printing tests: local printers in a scratch folder, page
// bitmaps with a keep/drop pattern, and reading PDF output back with poppler.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "ChildTestTools.h"
#include "Dib.h"
#include "Process.h"
#include "ScratchFolder.h"

namespace printtest {

// Letter with margins (left 0.25 in, bottom 0.5 in, right 0.25 in, top 0.5 in),
// A4, Legal; 300 and 600 dpi, 600 by default.
inline const char* const kPpd = R"(*PPD-Adobe: "4.3"
*NickName: "Scratch Printer"
*DefaultPageSize: Letter
*PageSize Letter/US Letter: "<</PageSize[612 792]>>setpagedevice"
*PageSize A4/A4: "<</PageSize[595 842]>>
setpagedevice"
*ImageableArea Letter/US Letter: "18 36 594 756"
*ImageableArea A4/A4: "0 0 595 842"
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
    LocalPrinters() : m_env("TESSEL_PRINTERS", m_folder.Path().c_str()) {}
    void Add(const std::string& name, const std::string& ppd = kPpd) { m_folder.Write(name + ".ppd", ppd); }
    std::string JobFile(const std::string& name, int id) const
    {
        return m_folder.Path(name + "/job-" + std::to_string(id) + ".pdf");
    }
    std::string Folder(const std::string& name = {}) const { return m_folder.Path(name); }

private:
    ScratchFolder m_folder;
    childtest::ScopedEnv m_env;
};

// Ink where the pattern keeps a pixel: a 5 x 3 cell in which (x + 2y) % 5 and
// x % 3 == 1 drop; distinct enough that any shift or smoothing shows.
inline bool IsInk(int x, int y)
{
    return (x + 2 * y) % 5 != 0 && x % 3 != 1;
}

// An 8-bit bottom-up section with black (0) and white (1) in its table.
inline HBITMAP MakePatternPage(int width, int height)
{
    const RGBQUAD table[2] = {{0, 0, 0, 0}, {255, 255, 255, 0}};
    HBITMAP bmp = CreateDibSection(width, height, 8, BI_RGB, table, 2, nullptr);
    if (!bmp) return nullptr;
    auto* bits = static_cast<uint8_t*>(bmp->ds.dsBm.bmBits);
    const int stride = bmp->ds.dsBm.bmWidthBytes;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) bits[(height - 1 - y) * stride + x] = IsInk(x, y) ? 0 : 1;
    return bmp;
}

// A gray raster of part of one PDF page.
struct Raster {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> pixels;
    int At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

inline bool Rasterize(const std::string& pdf, int page, int dpi, int x, int y, int w, int h, Raster& out)
{
    char command[1024];
    snprintf(command, sizeof command, "pdftoppm -gray -r %d -f %d -l %d -x %d -y %d -W %d -H %d \"%s\"", dpi, page,
             page, x, y, w, h, pdf.c_str());
    std::string pgm;
    int status = -1;
    if (!Process::RunForOutput(command, pgm, &status, 64u << 20) || status != 0) return false;
    int maxValue = 0;
    int consumed = 0;
    if (sscanf(pgm.c_str(), "P5 %d %d %d%n", &out.width, &out.height, &maxValue, &consumed) != 3) return false;
    const size_t size = static_cast<size_t>(out.width) * out.height;
    if (pgm.size() < consumed + 1 + size) return false;
    out.pixels.assign(pgm.begin() + consumed + 1, pgm.begin() + consumed + 1 + static_cast<long>(size));
    return true;
}

// "612 x 792" for each page, from pdfinfo.
inline std::vector<std::string> PageSizes(const std::string& pdf)
{
    std::string info;
    Process::RunForOutput(("pdfinfo -f 1 -l 99 \"" + pdf + "\"").c_str(), info);
    std::vector<std::string> sizes;
    std::istringstream lines(info);
    std::string line;
    while (std::getline(lines, line)) {
        const size_t at = line.find(" size: ");
        const size_t end = line.find(" pts");
        if (line.rfind("Page ", 0) != 0 || at == std::string::npos || end == std::string::npos) continue;
        // Rounded to whole points: spoolers keep sizes in hundredths of a millimetre.
        double w = 0, h = 0;
        if (sscanf(line.c_str() + at + 7, "%lf x %lf", &w, &h) != 2) continue;
        sizes.push_back(std::to_string(std::lround(w)) + " x " + std::to_string(std::lround(h)));
    }
    return sizes;
}

// Checks that the area at (left, top) of the raster holds the pattern of a
// cols x rows bitmap, each source pixel scale x scale device pixels, with a
// white border of one device pixel around it.
inline void ExpectPattern(const Raster& r, int left, int top, int cols, int rows, int scale)
{
    int wrong = 0;
    for (int y = top - 1; y <= top + rows * scale; ++y) {
        for (int x = left - 1; x <= left + cols * scale; ++x) {
            const bool inside = x >= left && y >= top && x < left + cols * scale && y < top + rows * scale;
            const bool ink = inside && IsInk((x - left) / scale, (y - top) / scale);
            const int expected = ink ? 0 : 255;
            if (r.At(x, y) != expected && ++wrong <= 5)
                ADD_FAILURE() << "device pixel (" << x << ", " << y << ") is " << r.At(x, y) << ", expected "
                              << expected;
        }
    }
    EXPECT_EQ(wrong, 0);
}

}  // namespace printtest
