#include "DevModeOptions.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "PaperSizes.h"

namespace {
constexpr long kIppPortrait = 3;
constexpr long kIppLandscape = 4;
constexpr long kIppReverseLandscape = 5;
constexpr long kIppReversePortrait = 6;
constexpr long kIppQualityDraft = 3;
constexpr long kIppQualityNormal = 4;
constexpr long kIppQualityHigh = 5;
constexpr long kMaxInt16 = 32767;

const char* const kCollated = "separate-documents-collated-copies";
const char* const kUncollated = "separate-documents-uncollated-copies";

std::string Number(long value)
{
    char text[24];
    snprintf(text, sizeof text, "%ld", value);
    return text;
}
}  // namespace

bool DevModeOptions::ParseInteger(const char* text, long minimum, long maximum, long& value)
{
    if (!text || !*text) return false;
    errno = 0;
    char* end = nullptr;
    const long parsed = strtol(text, &end, 10);
    if (errno != 0 || *end != '\0' || end == text || parsed < minimum || parsed > maximum) return false;
    value = parsed;
    return true;
}

int DevModeOptions::ParseResolution(const char* value)
{
    char text[32];
    const size_t n = value ? strlen(value) : 0;
    if (n < 4 || n >= sizeof text || strcasecmp(value + n - 3, "dpi") != 0) return 0;
    memcpy(text, value, n - 3);
    text[n - 3] = '\0';
    char* x = strchr(text, 'x');
    long number = 0;
    if (x) {
        *x = '\0';
        if (!ParseInteger(x + 1, 1, kMaxInt16, number)) return 0;
    }
    if (!ParseInteger(text, 1, kMaxInt16, number)) return 0;
    return static_cast<int>(number);
}

std::vector<PrintOption> DevModeOptions::ToOptions(const DEVMODE& dm)
{
    std::vector<PrintOption> options;
    if ((dm.dmFields & DM_ORIENTATION) && dm.dmOrientation > 0)
        options.emplace_back("orientation-requested",
                             Number(dm.dmOrientation == DMORIENT_LANDSCAPE ? kIppLandscape : kIppPortrait));
    if (dm.dmFields & DM_PAPERSIZE) {
        const PaperSize* paper = PaperSizes::FindForSetup(dm.dmPaperSize, dm.dmPaperWidth, dm.dmPaperLength);
        if (paper)
            options.emplace_back("media", paper->pwgName);
        else if (dm.dmPaperWidth > 0 && dm.dmPaperLength > 0)
            options.emplace_back("media", PaperSizes::CustomPwgName(dm.dmPaperWidth, dm.dmPaperLength));
    }
    if (dm.dmFields & DM_PRINTQUALITY) {
        if (dm.dmPrintQuality > 0)
            options.emplace_back("printer-resolution", Number(dm.dmPrintQuality) + "dpi");
        else if (dm.dmPrintQuality == DMRES_HIGH)
            options.emplace_back("print-quality", Number(kIppQualityHigh));
        else if (dm.dmPrintQuality == DMRES_MEDIUM)
            options.emplace_back("print-quality", Number(kIppQualityNormal));
        else if (dm.dmPrintQuality == DMRES_LOW || dm.dmPrintQuality == DMRES_DRAFT)
            options.emplace_back("print-quality", Number(kIppQualityDraft));
    }
    if ((dm.dmFields & DM_COPIES) && dm.dmCopies > 0) options.emplace_back("copies", Number(dm.dmCopies));
    if (dm.dmFields & DM_COLLATE)
        options.emplace_back("multiple-document-handling", dm.dmCollate == DMCOLLATE_TRUE ? kCollated : kUncollated);
    return options;
}

bool DevModeOptions::ApplyOption(DEVMODE& dm, const char* name, const char* value)
{
    if (!name || !value) return false;
    long number = 0;
    if (strcmp(name, "orientation-requested") == 0) {
        if (!ParseInteger(value, kIppPortrait, kIppReversePortrait, number)) return false;
        dm.dmOrientation =
            (number == kIppLandscape || number == kIppReverseLandscape) ? DMORIENT_LANDSCAPE : DMORIENT_PORTRAIT;
        dm.dmFields |= DM_ORIENTATION;
        return true;
    }
    if (strcmp(name, "media") == 0) {
        int32_t width = 0;
        int32_t length = 0;
        const PaperSize* paper = PaperSizes::FindByName(value);
        if (paper) {
            dm.dmPaperSize = paper->id;
            width = paper->width;
            length = paper->length;
        } else if (PaperSizes::ParsePwgSize(value, width, length)) {
            paper = PaperSizes::FindBySize(width, length);
            dm.dmPaperSize = paper ? paper->id : DMPAPER_USER;
        } else {
            return false;
        }
        dm.dmPaperWidth = static_cast<int16_t>(width);
        dm.dmPaperLength = static_cast<int16_t>(length);
        dm.dmFields |= DM_PAPERSIZE | DM_PAPERWIDTH | DM_PAPERLENGTH;
        return true;
    }
    if (strcmp(name, "print-quality") == 0) {
        if (!ParseInteger(value, kIppQualityDraft, kIppQualityHigh, number)) return false;
        dm.dmPrintQuality = number == kIppQualityHigh     ? DMRES_HIGH
                            : number == kIppQualityNormal ? DMRES_MEDIUM
                                                          : DMRES_DRAFT;
        dm.dmFields |= DM_PRINTQUALITY;
        return true;
    }
    if (strcmp(name, "printer-resolution") == 0) {
        // The horizontal figure is the quality.
        const int dpi = ParseResolution(value);
        if (dpi == 0) return false;
        dm.dmPrintQuality = static_cast<int16_t>(dpi);
        dm.dmFields |= DM_PRINTQUALITY;
        return true;
    }
    if (strcmp(name, "copies") == 0) {
        if (!ParseInteger(value, 1, kMaxInt16, number)) return false;
        dm.dmCopies = static_cast<int16_t>(number);
        dm.dmFields |= DM_COPIES;
        return true;
    }
    if (strcmp(name, "multiple-document-handling") == 0) {
        // A single document is collated by nature.
        if (strcmp(value, kCollated) == 0 || strcmp(value, "single-document") == 0)
            dm.dmCollate = DMCOLLATE_TRUE;
        else if (strcmp(value, kUncollated) == 0)
            dm.dmCollate = DMCOLLATE_FALSE;
        else
            return false;
        dm.dmFields |= DM_COLLATE;
        return true;
    }
    return false;
}
