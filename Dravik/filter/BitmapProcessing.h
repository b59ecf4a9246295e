#pragma once
#include <cstdint>

#include "Dib.h"
#include "MicrLocator.h"
#include "SavingsMasks.h"

class AppEnvironment;

// Ink coverage of one page in ten-thousandths (10000: every pixel at full
// strength). Allocated with malloc; a BlockArray owns it once appended.
struct UsageDetails {
    int32_t CyanBefore;
    int32_t CyanAfter;
    int32_t MagentaBefore;
    int32_t MagentaAfter;
    int32_t YellowBefore;
    int32_t YellowAfter;
    int32_t BlackBefore;
    int32_t BlackAfter;
};

// Thins the page in place at the environment's SavingsPercentage, by the
// keep/drop mask or (SavingsStyle 1) legibly, keeping the MICR line when micr
// is non-zero and, with ProtectCodes, the barcodes and 2-D codes found. Returns the
// page's usage record when AdvUsageStat asks for it and the page has a colour
// table of 8 bits per pixel, else null. Throws std::runtime_error (logged) for
// a handle that is not a usable DIB section; the page is then unchanged.
UsageDetails* ProcessBitmap(HBITMAP hBitmap, const AppEnvironment* env, int32_t resolution, int32_t micr);

void RgbToCmyk(int32_t red, int32_t green, int32_t blue, double* cyan, double* magenta, double* yellow, double* black);
