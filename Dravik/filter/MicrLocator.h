#pragma once
#include <cstdint>

#include "Dib.h"

// One protected rectangle of the page in pixels, all bounds inclusive; y
// counts rows from the top edge as the page is seen.
struct MicrRegion {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
};

constexpr int32_t kMaxMicrRegions = 9;

// Asks the MICR locator library of the installation where the code line of a
// cheque page lies. The library is loaded and released for every page.
class MicrLocator {
public:
    static constexpr const char* kLibraryName = "libKZTLite.so";

    // installDir ends with a separator.
    explicit MicrLocator(const char* installDir);

    // Fills regions (room for kMaxMicrRegions) and returns their count; 0 when
    // the library or its answer is missing. Logs the region block at level 0.
    int32_t Locate(HBITMAP hBitmap, int32_t resolution, MicrRegion* regions) const;

private:
    char m_Path[2 * 261] = "";
};

// Reads groups of four comma-separated numbers (left, top, right, bottom)
// into at most kMaxMicrRegions entries. A null or empty text leaves count
// untouched; an incomplete trailing group is ignored; numbers beyond 32 bits
// saturate. Only the first kMaxMicrAnswer characters are ever read.
constexpr int32_t kMaxMicrAnswer = 4096;
void ParseMicrRegions(const char* text, int32_t* count, MicrRegion* regions);
