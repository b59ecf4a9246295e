#pragma once
#include <cstdint>

#include "Dib.h"
#include "MicrLocator.h"

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

// Mask level of a savings percentage (0 = 5 % ... 14 = 75 %); below 0: no filtering.
int32_t SavingsLevel(int32_t savingsPercentage);

// Thins the page in place by the keep/drop mask of the environment's
// SavingsPercentage, keeping the MICR line when micr is non-zero. Returns the
// page's usage record when AdvUsageStat asks for it and the page has a colour
// table of 8 bits per pixel, else null. Throws std::runtime_error (logged) for
// a handle that is not a usable DIB section; the page is then unchanged.
UsageDetails* ProcessBitmap(HBITMAP hBitmap, const AppEnvironment* env, int32_t resolution, int32_t micr);

void RgbToCmyk(int32_t red, int32_t green, int32_t blue, double* cyan, double* magenta, double* yellow, double* black);
