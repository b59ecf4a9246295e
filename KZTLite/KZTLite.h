#pragma once
// The MICR locator's interface: where the code lines of a cheque page lie.
#include <cstdint>

#include "Dib.h"

#define KZT_EXPORT extern "C" __attribute__((visibility("default")))

// Writes the code lines of the page into *answer as groups of four decimal
// numbers joined by commas: left, top, right, bottom in page pixels, bounds
// inclusive, y from the top; at most nine groups. Leaves *answer null when
// there is no line (or the handle is not a readable page section) and returns
// the number of groups. The third argument is reserved and ignored.
KZT_EXPORT int32_t KZTGetMicrLineRegions(HBITMAP page, int32_t dpi, int32_t reserved, char** answer);

// Releases an answer of KZTGetMicrLineRegions and nulls the pointer.
KZT_EXPORT void KZTFreeMem(char** answer);
