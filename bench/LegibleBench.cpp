// How legible the thinned pages stay. Prints an office page (text of several
// sizes and fonts, a table, a photo, a filled chart) and a label page (Code
// 128, Code 39, EAN-13, UPC-A, ITF, QR, Data Matrix, PDF417 at label sizes)
// through Dravik to a 600-dpi printer at 30, 50 and 75 % in both styles (mask
// and legible), reads each printed page back at 300 dpi and reports: OCR
// accuracy (tesseract) against the unthinned page, the share of dark pixels
// removed (counted at 600 dpi) against the nominal saving, and the codes
// decoded by zbar and by zxing (zbar reads neither Data Matrix nor PDF417;
// zxing, through the filter's own code finder, reads them all). ProtectCodes is on,
// and off once for the label page. Arguments: the savings to run
// (default 30 50 75). Needs gs, tesseract and zbarimg on PATH; the pages and
// the PNGs read back stay in the folder it names at the end.
#include <ZXing/BarcodeFormat.h>
#include <ZXing/BitMatrix.h>
#include <ZXing/MultiFormatWriter.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "BenchWorld.h"
#include "CodeLocator.h"
#include "CommandLine.h"
#include "Process.h"

namespace fs = std::filesystem;

namespace {

constexpr double kPointsPerMm = 72.0 / 25.4;

std::string Quoted(const std::string& text)
{
    return "'" + text + "'";
}

bool Shell(const std::string& command)
{
    return std::system(command.c_str()) == 0;
}

std::string ReadAll(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

bool Have(const char* program)
{
    return Shell(std::string("command -v ") + program + " > /dev/null 2>&1");
}

// A code as a PostScript imagemask: modules of `module` mm, a linear code's
// bars `barHeight` mm tall.
std::string Code(ZXing::BarcodeFormat format, const std::string& text, double x, double y, double module,
                 double barHeight, const std::string& caption)
{
    const ZXing::BitMatrix matrix = ZXing::MultiFormatWriter(format).setMargin(0).encode(text, 0, 0);
    const bool linear = ZXing::BarcodeFormats(ZXing::BarcodeFormat::LinearCodes).testFlag(format);
    const int w = matrix.width();
    const int h = linear ? 1 : matrix.height();
    std::ostringstream ps;
    const double width = w * module * kPointsPerMm;
    const double height = linear ? barHeight * kPointsPerMm : h * module * kPointsPerMm;
    ps << "gsave " << x << " " << y << " translate " << width << " " << height << " scale " << w << " " << h
       << " true [" << w << " 0 0 -" << h << " 0 " << h << "] <";
    for (int row = 0; row < h; ++row) {
        for (int byte = 0; byte < (w + 7) / 8; ++byte) {
            int v = 0;
            for (int bit = 0; bit < 8; ++bit) {
                const int col = byte * 8 + bit;
                if (col < w && matrix.get(col, row)) v |= 0x80 >> bit;
            }
            char hex[3];
            std::snprintf(hex, sizeof hex, "%02x", v);
            ps << hex;
        }
        ps << "\n";
    }
    ps << "> imagemask grestore\n/Helvetica findfont 8 scalefont setfont " << x << " " << y - 11 << " moveto ("
       << caption << ") show\n";
    return ps.str();
}

void WriteLabelPage(const fs::path& path)
{
    using F = ZXing::BarcodeFormat;
    std::ofstream ps(path);
    ps << "%!PS\n/Helvetica-Bold findfont 16 scalefont setfont 54 740 moveto (Parcel labels) show\n"
          "/Helvetica findfont 11 scalefont setfont 54 720 moveto (Ship to: Ada Moreno, 12 River Road, Springfield)"
          " show\n";
    ps << Code(F::Code128, "PARSIMO-0412", 54, 620, 0.33, 15, "Code 128");
    ps << Code(F::Code39, "LBL2024X", 320, 620, 0.30, 15, "Code 39");
    ps << Code(F::EAN13, "5901234123457", 54, 490, 0.33, 22, "EAN-13");
    ps << Code(F::UPCA, "036000291452", 320, 490, 0.33, 22, "UPC-A");
    ps << Code(F::ITF, "12345678901231", 54, 370, 0.40, 15, "ITF");
    ps << Code(F::QRCode, "https://example.com/parcel/0412", 320, 330, 0.5, 0, "QR");
    // This text makes a square symbol (20 x 20); a shorter one may come out rectangular.
    ps << Code(F::DataMatrix, "Lot 0412, serial 7788-1234", 54, 200, 0.5, 0, "Data Matrix");
    ps << Code(F::PDF417, "Parsimo label 0412", 250, 200, 0.33, 0, "PDF417");
    ps << "showpage\n";
}

// A photo-like picture: an evening sky over two hills, with grain.
std::string Photo(double x, double y, double width, double height)
{
    constexpr int kW = 240, kH = 160;
    std::mt19937 grain(7);
    std::ostringstream ps;
    ps << "gsave " << x << " " << y << " translate " << width << " " << height << " scale " << kW << " " << kH << " 8 ["
       << kW << " 0 0 -" << kH << " 0 " << kH << "] currentfile /ASCIIHexDecode filter false 3 colorimage\n";
    for (int row = 0; row < kH; ++row) {
        for (int col = 0; col < kW; ++col) {
            const double t = static_cast<double>(row) / kH;
            const double hill = 0.62 + 0.12 * std::sin(col * 0.04) + 0.05 * std::sin(col * 0.13);
            double r = 40 + 200 * t, g = 90 + 110 * t, b = 180 - 90 * t;
            if (t > hill) r = 40 - 20 * (t - hill), g = 90 - 40 * (t - hill), b = 40;
            const double n = static_cast<int>(grain() % 31) - 15;
            char hex[7];
            std::snprintf(hex, sizeof hex, "%02x%02x%02x", std::clamp(static_cast<int>(r + n), 0, 255),
                          std::clamp(static_cast<int>(g + n), 0, 255), std::clamp(static_cast<int>(b + n), 0, 255));
            ps << hex;
        }
        ps << "\n";
    }
    ps << ">\ngrestore\n";
    return ps.str();
}

void WriteOfficePage(const fs::path& path)
{
    std::ofstream ps(path);
    ps << "%!PS\n/Helvetica-Bold findfont 22 scalefont setfont 54 736 moveto (Quarterly Report) show\n";
    const char* lines[] = {
        "Our third quarter closed above plan. Orders rose in every region,",
        "and the new print service cut running costs by a fifth. Paper and",
        "toner are now bought once a month, which keeps the stock low.",
    };
    struct Font {
        const char* name;
        int size;
    };
    const Font fonts[] = {{"Times-Roman", 11},  {"Helvetica", 10}, {"Courier", 9},
                          {"Times-Italic", 12}, {"Helvetica", 8},  {"Helvetica-Bold", 14}};
    double y = 712;
    for (const Font& font : fonts) {
        ps << "/" << font.name << " findfont " << font.size << " scalefont setfont\n";
        for (const char* line : lines) {
            ps << "54 " << y << " moveto (" << line << ") show\n";
            y -= font.size * 1.3;
        }
        y -= 4;
    }
    // A table with ruled cells.
    const char* cells[4][4] = {{"Region", "Orders", "Revenue", "Change"},
                               {"North", "1,204", "2.10 M", "+12 %"},
                               {"South", "987", "1.45 M", "+8 %"},
                               {"West", "1,532", "2.87 M", "+15 %"}};
    const double top = y - 6;
    ps << "0.6 setlinewidth /Helvetica findfont 10 scalefont setfont\n";
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            ps << 54 + c * 90 << " " << top - (r + 1) * 18 << " 90 18 rectstroke " << 60 + c * 90 << " "
               << top - (r + 1) * 18 + 5 << " moveto (" << cells[r][c] << ") show\n";
    // The photo beside a filled chart.
    ps << Photo(54, 90, 240, 160);
    ps << "/Helvetica-Bold findfont 10 scalefont setfont 330 262 moveto (Sales per quarter) show\n";
    const double bars[4] = {90, 130, 110, 160};
    const char* colours[4] = {"0.2 0.4 0.8", "0 0.2 0.4", "0.1 0.1 0.1", "0.2 0.6 0.4"};
    for (int i = 0; i < 4; ++i)
        ps << colours[i] << " setrgbcolor " << 340 + i * 50 << " 90 36 " << bars[i] << " rectfill\n";
    ps << "0 setgray 330 90 210 1 rectfill 330 90 1 165 rectfill\n/Helvetica findfont 9 scalefont setfont\n";
    for (int i = 0; i < 4; ++i) ps << 350 + i * 50 << " 78 moveto (Q" << i + 1 << ") show\n";
    ps << "showpage\n";
}

// Prints a job through Dravik with these settings; the printed PDF, or empty.
fs::path Print(const fs::path& world, const fs::path& job, int savings, int style, int protect, const fs::path& saveAs)
{
    char values[160];
    std::snprintf(values, sizeof values,
                  "\"SavingsPercentage\"=dword:%08x\r\n\"SavingsStyle\"=dword:%08x\r\n\"ProtectCodes\"=dword:%08x\r\n",
                  savings, style, protect);
    benchworld::WriteSettings(world, values);
    Process child;
    int status = -1;
    const std::string commandLine = CommandLine::Join({DRAVIK_EXE, "-std", job.string()});
    if (!child.CreateChildProcess(commandLine.c_str(), true, 2, false) || !child.Wait(&status) || status != 0)
        return {};
    for (const auto& entry : fs::directory_iterator(world / "printers/Target"))
        if (entry.path().extension() == ".pdf") {
            fs::rename(entry.path(), saveAs);
            return saveAs;
        }
    return {};
}

struct Reading {
    std::string text;  // tesseract's words, one space between
    double dark = 0;   // dark pixels at 600 dpi
    std::set<std::string> zbar;
    std::set<std::string> zxing;
    double findMs = 0;  // the filter's search for codes on this 300-dpi page
};

std::string Words(const std::string& text)
{
    std::istringstream in(text);
    std::string word, out;
    while (in >> word) out += (out.empty() ? "" : " ") + word;
    return out;
}

// A binary PGM file as width, height and the pixels.
bool ReadPgm(const fs::path& path, int& width, int& height, std::vector<uint8_t>& pixels)
{
    std::ifstream in(path, std::ios::binary);
    // Header tokens, skipping comment lines; one blank ends the header.
    const auto token = [&in] {
        std::string text;
        while (in >> text && text[0] == '#') std::getline(in, text);
        return text;
    };
    const std::string magic = token();
    width = std::atoi(token().c_str());
    height = std::atoi(token().c_str());
    const int maximum = std::atoi(token().c_str());
    in.get();
    if (magic != "P5" || width <= 0 || height <= 0 || maximum != 255) return false;
    pixels.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
    in.read(reinterpret_cast<char*>(pixels.data()), static_cast<std::streamsize>(pixels.size()));
    return static_cast<size_t>(in.gcount()) == pixels.size();
}

Reading Read(const fs::path& pdf)
{
    Reading reading;
    const std::string base = (pdf.parent_path() / pdf.stem()).string();
    Shell("gs -q -dNOPAUSE -dBATCH -sDEVICE=pgmraw -r600 -o " + Quoted(base + "-600.pgm") + " " + Quoted(pdf));
    Shell("gs -q -dNOPAUSE -dBATCH -sDEVICE=pgmraw -r300 -o " + Quoted(base + "-300.pgm") + " " + Quoted(pdf));
    Shell("gs -q -dNOPAUSE -dBATCH -sDEVICE=pnggray -r300 -o " + Quoted(base + ".png") + " " + Quoted(pdf));
    int width = 0, height = 0;
    std::vector<uint8_t> pixels;
    if (ReadPgm(base + "-600.pgm", width, height, pixels))
        reading.dark =
            static_cast<double>(std::count_if(pixels.begin(), pixels.end(), [](uint8_t v) { return v < 128; }));
    fs::remove(base + "-600.pgm");
    Shell("tesseract " + Quoted(base + ".png") + " " + Quoted(base) + " > /dev/null 2>&1");
    reading.text = Words(ReadAll(base + ".txt"));
    Shell("zbarimg -q " + Quoted(base + ".png") + " > " + Quoted(base + ".zbar") + " 2> /dev/null");
    std::istringstream zbar(ReadAll(base + ".zbar"));
    for (std::string line; std::getline(zbar, line);)
        if (line.find(':') != std::string::npos) reading.zbar.insert(line);
    if (ReadPgm(base + "-300.pgm", width, height, pixels)) {
        // Read as the filter finds them.
        uint8_t grey[256];
        for (int v = 0; v < 256; ++v) grey[v] = static_cast<uint8_t>(v);
        const PageView page{pixels.data(), width, height, width, 1, false, grey};
        MicrRegion regions[CodeLocator::kMaxRegions];
        const char* kinds[CodeLocator::kMaxRegions];
        const auto start = std::chrono::steady_clock::now();
        const int32_t count = CodeLocator::Locate(page, 300, regions, kinds);
        reading.findMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        for (int32_t i = 0; i < count; ++i) reading.zxing.insert(kinds[i]);
    }
    fs::remove(base + "-300.pgm");
    return reading;
}

// Characters tesseract read as on the unthinned page: 1 - edit distance / length.
double Accuracy(const std::string& reference, const std::string& text)
{
    if (reference.empty()) return text.empty() ? 1.0 : 0.0;
    std::vector<size_t> previous(text.size() + 1), current(text.size() + 1);
    for (size_t j = 0; j <= text.size(); ++j) previous[j] = j;
    for (size_t i = 1; i <= reference.size(); ++i) {
        current[0] = i;
        for (size_t j = 1; j <= text.size(); ++j)
            current[j] = std::min(
                {previous[j] + 1, current[j - 1] + 1, previous[j - 1] + (reference[i - 1] == text[j - 1] ? 0 : 1)});
        std::swap(previous, current);
    }
    return std::max(0.0, 1.0 - static_cast<double>(previous[text.size()]) / static_cast<double>(reference.size()));
}

std::string Names(const std::set<std::string>& names)
{
    std::string out;
    for (const std::string& name : names) out += (out.empty() ? "" : ",") + name;
    return out;
}

}  // namespace

int main(int argc, char** argv)
{
    for (const char* tool : {"gs", "tesseract", "zbarimg"})
        if (!Have(tool)) {
            std::fprintf(stderr, "%s is missing: apt-get install ghostscript tesseract-ocr zbar-tools\n", tool);
            return 2;
        }
    std::vector<int> savings;
    for (int i = 1; i < argc; ++i) savings.push_back(std::atoi(argv[i]));
    if (savings.empty()) savings = {30, 50, 75};

    std::random_device random;
    const fs::path world = fs::temp_directory_path() / ("parsimo-legiblebench-" + std::to_string(random()));
    benchworld::SetUpWorld(world);
    benchworld::SetTargetResolution(world, 600);
    const fs::path out = world / "pages";
    fs::create_directories(out);
    WriteOfficePage(world / "office.ps");
    WriteLabelPage(world / "labels.ps");

    int status = 0;
    std::printf("%-7s %-10s %7s %8s %9s %7s %6s %6s %8s  %s\n", "page", "style", "saving", "OCR %", "removed %",
                "of nom.", "zbar", "zxing", "find ms", "codes decoded (zxing)");
    for (const char* page : {"office", "labels"}) {
        const fs::path job = world / (std::string(page) + ".ps");
        const fs::path plain = Print(world, job, 0, 0, 1, out / (std::string(page) + "-0.pdf"));
        if (plain.empty()) {
            std::fprintf(stderr, "Dravik did not print the %s page\n", page);
            return 1;
        }
        const Reading reference = Read(plain);
        std::printf("%-7s %-10s %6d%% %8.1f %9.1f %7s %6zu %6zu %8.0f  %s\n", page, "-", 0, 100.0, 0.0, "-",
                    reference.zbar.size(), reference.zxing.size(), reference.findMs, Names(reference.zxing).c_str());
        // Every saving in both styles with the codes kept, and the label page
        // at the last saving without, to show what keeping them is worth.
        std::vector<std::pair<int, int>> runs;  // style, saving; ProtectCodes 0 when style is 2 or 3
        for (int style : {0, 1})
            for (int saving : savings) runs.emplace_back(style, saving);
        if (std::string(page) == "labels")
            for (int style : {2, 3}) runs.emplace_back(style, savings.back());
        for (const auto& [run, saving] : runs) {
            const int style = run % 2;
            const int protect = run < 2 ? 1 : 0;
            const std::string label = std::string(style ? "legible" : "mask") + (protect ? "" : "-u");
            const std::string name = std::string(page) + "-" + std::to_string(saving) + "-" + label;
            const fs::path printed = Print(world, job, saving, style, protect, out / (name + ".pdf"));
            if (printed.empty()) {
                std::fprintf(stderr, "Dravik did not print %s\n", name.c_str());
                status = 1;
                continue;
            }
            const Reading reading = Read(printed);
            const double removed = reference.dark > 0 ? 100.0 * (1.0 - reading.dark / reference.dark) : 0.0;
            std::printf("%-7s %-10s %6d%% %8.1f %9.1f %6.0f%% %6zu %6zu %8.0f  %s\n", page, label.c_str(), saving,
                        100.0 * Accuracy(reference.text, reading.text), removed, 100.0 * removed / saving,
                        reading.zbar.size(), reading.zxing.size(), reading.findMs, Names(reading.zxing).c_str());
            std::fflush(stdout);
        }
    }
    std::printf("OCR: characters read as on the unthinned page; removed: dark pixels (600 dpi) gone; of nom.: removed "
                "/ nominal saving; -u: ProtectCodes 0; find ms: the filter's search for codes on the page read back. "
                "Pages and readings in %s\n",
                out.string().c_str());
    return status;
}
