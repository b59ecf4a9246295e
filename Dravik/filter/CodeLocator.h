#pragma once
#include <cstdint>

#include "MicrLocator.h"
#include "PageView.h"

// Finds the barcodes and 2-D codes of a page (Code 128, Code 39, EAN/UPC, ITF,
// QR, Data Matrix, PDF417 and the other kinds the decoder knows) so that the
// filter can leave them at full strength. It looks at a copy reduced to about
// kFindDpi, which keeps it fast and still resolves the modules labels use.
class CodeLocator {
public:
    static constexpr int32_t kMaxRegions = 32;
    static constexpr int32_t kFindDpi = 300;

    // Fills regions (room for kMaxRegions) with the codes found, each with its
    // quiet zone, in page pixels, and returns their count. Logs the regions at
    // level 0, as the MICR regions are. kinds, when given, receives the name
    // of each code's kind (static texts).
    static int32_t Locate(const PageView& page, int32_t resolution, MicrRegion* regions, const char** kinds = nullptr);
};
