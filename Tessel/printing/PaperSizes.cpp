#include "PaperSizes.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

namespace {
// Sizes as the Windows paper numbers define them; the PWG names are those
// printers announce in media-supported.
constexpr PaperSize kPapers[] = {
    {1, "na_letter_8.5x11in", "Letter", 2159, 2794},
    {5, "na_legal_8.5x14in", "Legal", 2159, 3556},
    {9, "iso_a4_210x297mm", "A4", 2100, 2970},
    {8, "iso_a3_297x420mm", "A3", 2970, 4200},
    {11, "iso_a5_148x210mm", "A5", 1480, 2100},
    {13, "jis_b5_182x257mm", "B5", 1820, 2570},
    {7, "na_executive_7.25x10.5in", "Executive", 1842, 2667},
    {3, "na_ledger_11x17in", "Tabloid", 2794, 4318},
};

// Largest size a DEVMODE's 16-bit fields can carry.
constexpr double kMaxTenths = 32767.0;

// A positive decimal number filling [begin, end) exactly.
bool ParseNumber(const char* begin, const char* end, double& value)
{
    if (begin >= end || end - begin > 15) return false;
    char text[16];
    memcpy(text, begin, static_cast<size_t>(end - begin));
    text[end - begin] = '\0';
    for (const char* p = text; *p; ++p)
        if ((*p < '0' || *p > '9') && *p != '.') return false;
    char* stop = nullptr;
    value = strtod(text, &stop);
    return stop == text + (end - begin) && value > 0.0 && std::isfinite(value);
}
}  // namespace

const PaperSize* PaperSizes::FindById(int16_t id)
{
    for (const PaperSize& paper : kPapers)
        if (paper.id == id) return &paper;
    return nullptr;
}

const PaperSize* PaperSizes::FindByName(const char* name)
{
    if (!name) return nullptr;
    for (const PaperSize& paper : kPapers)
        if (strcasecmp(paper.pwgName, name) == 0 || strcasecmp(paper.ppdName, name) == 0) return &paper;
    return nullptr;
}

const PaperSize* PaperSizes::FindBySize(int32_t width, int32_t length)
{
    for (const PaperSize& paper : kPapers)
        if (std::abs(paper.width - width) <= 10 && std::abs(paper.length - length) <= 10) return &paper;
    return nullptr;
}

const PaperSize* PaperSizes::FindForSetup(int16_t id, int32_t width, int32_t length)
{
    const PaperSize* paper = FindById(id);
    if (paper && width > 0 && length > 0 &&
        (std::abs(paper->width - width) > 10 || std::abs(paper->length - length) > 10))
        return nullptr;
    return paper;
}

std::string PaperSizes::CustomPwgName(int32_t width, int32_t length)
{
    char text[64];
    const auto part = [](int32_t tenths, char* out, size_t size) {
        if (tenths % 10 == 0)
            snprintf(out, size, "%d", tenths / 10);
        else
            snprintf(out, size, "%d.%d", tenths / 10, tenths % 10);
    };
    char w[16];
    char l[16];
    part(width, w, sizeof w);
    part(length, l, sizeof l);
    snprintf(text, sizeof text, "custom_%sx%smm", w, l);
    return text;
}

bool PaperSizes::ParsePwgSize(const char* name, int32_t& width, int32_t& length)
{
    if (!name) return false;
    const char* size = strrchr(name, '_');
    if (!size) return false;
    ++size;
    const size_t n = strlen(size);
    if (n < 5) return false;
    const char* unit = size + n - 2;
    double perUnit = 0.0;
    if (strcmp(unit, "mm") == 0)
        perUnit = 10.0;
    else if (strcmp(unit, "in") == 0)
        perUnit = 254.0;
    else
        return false;
    const char* x = static_cast<const char*>(memchr(size, 'x', static_cast<size_t>(unit - size)));
    double w = 0.0;
    double l = 0.0;
    if (!x || !ParseNumber(size, x, w) || !ParseNumber(x + 1, unit, l)) return false;
    w *= perUnit;
    l *= perUnit;
    if (w > kMaxTenths || l > kMaxTenths || w < 1.0 || l < 1.0) return false;
    width = static_cast<int32_t>(std::lround(w));
    length = static_cast<int32_t>(std::lround(l));
    return true;
}
