#include "MicrLocator.h"

#include <cstdio>
#include <cstring>

#include "Library.h"
#include "Log.h"

namespace {

using GetRegionsFn = int32_t (*)(HBITMAP, int32_t, int32_t, char**);
using FreeMemFn = void (*)(char**);

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Decimal number at text[pos] (blanks, sign, digits), saturated to 32 bits; a
// piece without digits gives 0. Never reads at or past end.
int32_t ReadNumber(const char* text, int32_t pos, int32_t end)
{
    while (pos < end && IsBlank(text[pos])) ++pos;
    bool negative = false;
    if (pos < end && (text[pos] == '+' || text[pos] == '-')) negative = text[pos++] == '-';
    int64_t value = 0;
    for (; pos < end && text[pos] >= '0' && text[pos] <= '9'; ++pos) {
        value = value * 10 + (text[pos] - '0');
        if (value > int64_t{INT32_MAX} + 1) value = int64_t{INT32_MAX} + 1;
    }
    if (negative) value = -value;
    if (value > INT32_MAX) value = INT32_MAX;
    return static_cast<int32_t>(value);
}

}  // namespace

void ParseMicrRegions(const char* text, int32_t* count, MicrRegion* regions)
{
    if (text == nullptr || text[0] == '\0' || count == nullptr || regions == nullptr) return;
    int32_t end = 0;
    while (end < kMaxMicrAnswer && text[end] != '\0') ++end;

    // Start of every comma-separated piece, up to what nine groups can use.
    constexpr int32_t kMaxPieces = 4 * kMaxMicrRegions + 1;
    int32_t starts[kMaxPieces];
    int32_t pieces = 1;
    starts[0] = 0;
    for (int32_t i = 0; i < end && pieces < kMaxPieces; ++i)
        if (text[i] == ',') starts[pieces++] = i + 1;

    *count = 0;
    for (int32_t p = 0; p + 3 < pieces && *count < kMaxMicrRegions; p += 4) {
        MicrRegion& r = regions[*count];
        r.left = ReadNumber(text, starts[p], end);
        r.top = ReadNumber(text, starts[p + 1], end);
        r.right = ReadNumber(text, starts[p + 2], end);
        r.bottom = ReadNumber(text, starts[p + 3], end);
        ++*count;
    }
}

MicrLocator::MicrLocator(const char* installDir)
{
    std::snprintf(m_Path, sizeof(m_Path), "%s%s", installDir == nullptr ? "" : installDir, kLibraryName);
}

int32_t MicrLocator::Locate(HBITMAP hBitmap, int32_t resolution, MicrRegion* regions) const
{
    int32_t count = 0;
    {
        Library library(m_Path);
        if (!library.IsLoaded()) {
            LogText("File %s not found!\r\n", m_Path);
        } else {
            const auto getRegions = library.GetFunction<GetRegionsFn>("KZTGetMicrLineRegions");
            const auto freeMem = library.GetFunction<FreeMemFn>("KZTFreeMem");
            if (getRegions == nullptr || freeMem == nullptr) {
                LogText("KZTGetMicrLineRegions and/or KZTFreeMem were not found in %s!\r\n", m_Path);
            } else {
                char* answer = nullptr;
                getRegions(hBitmap, resolution, 0, &answer);
                if (answer != nullptr) {
                    ParseMicrRegions(answer, &count, regions);
                    freeMem(&answer);
                }
            }
        }
    }
    if (gLogLevel == 0) {
        BITMAP bm{};
        GetObjectA(hBitmap, sizeof(bm), &bm);
        LogText("[MICRLine Regions]\r\n");
        LogText("  - Bitmap(H/W) = %d, %d\r\n", bm.bmHeight, bm.bmWidth);
        for (int32_t i = 0; i < count; ++i)
            LogText("  - Region[%d] = (%d, %d, %d, %d)\r\n", i, regions[i].left, regions[i].top, regions[i].right,
                    regions[i].bottom);
        LogText("\r\n");
    }
    return count;
}
