#pragma once
#include <cstdint>

// The toner saving's keep/drop masks and the limits they set, in one place:
// the filter applies them, the settings and the dialog offer their range.
struct SavingsMask {
    int32_t cols;
    const char* rows[4];  // '1' keeps the pixel, '0' makes it white
};

namespace SavingsMasks {
constexpr int32_t kRows = 4;
constexpr int32_t kStep = 5;  // percent a level
constexpr int32_t kLevels = 15;
constexpr int32_t kMaximum = kStep * kLevels;  // percent
// The filter keeps one template row of this many pixels: every mask's width must divide it.
constexpr int32_t kPeriodPixels = 320;

// Level l drops (l + 1) * kStep percent of the pixels.
constexpr SavingsMask kTable[kLevels] = {
    {5, {"11111", "11111", "11011", "11111"}},
    {5, {"11111", "11111", "11011", "11110"}},
    {5, {"01111", "11111", "10111", "11101"}},
    {5, {"01111", "11101", "10111", "11101"}},
    {4, {"1111", "1010", "1111", "1010"}},
    {5, {"01101", "11011", "10110", "11011"}},
    {5, {"01011", "10110", "01101", "10111"}},
    {5, {"01011", "10101", "11010", "10101"}},
    {10, {"0101110101", "1010101010", "0101010101", "1010111010"}},
    {4, {"0101", "1010", "0101", "1010"}},
    {10, {"1010001010", "0101010101", "1010101010", "0101000101"}},
    {5, {"10100", "01010", "00101", "01010"}},
    {5, {"10100", "01001", "10010", "01000"}},
    {5, {"10010", "00100", "01001", "00100"}},
    {4, {"1000", "0010", "0100", "0001"}},
};

// Mask level of a savings percentage (0 = 5 % ... kLevels - 1 = 75 %); below 0: no filtering.
constexpr int32_t Level(int32_t savingsPercentage)
{
    const auto level = static_cast<int32_t>((static_cast<double>(savingsPercentage) + 2) / kStep) - 1;
    return level < kLevels - 1 ? level : kLevels - 1;
}

// The percentage a level stands for.
constexpr int32_t Percentage(int32_t level)
{
    return (level + 1) * kStep;
}

// A mask is sound when its width divides the period, every row is that wide
// and made of '0' and '1', and it drops exactly its level's share.
constexpr bool IsSound(const SavingsMask& mask, int32_t level)
{
    if (mask.cols <= 0 || kPeriodPixels % mask.cols != 0) return false;
    int32_t dropped = 0;
    for (const char* row : mask.rows) {
        int32_t x = 0;
        for (; row[x] != '\0'; ++x) {
            if (row[x] != '0' && row[x] != '1') return false;
            dropped += row[x] == '0' ? 1 : 0;
        }
        if (x != mask.cols) return false;
    }
    return dropped * 100 == Percentage(level) * mask.cols * kRows;
}

constexpr bool AllSound()
{
    for (int32_t level = 0; level < kLevels; ++level)
        if (!IsSound(kTable[level], level)) return false;
    return true;
}
static_assert(AllSound(), "a mask is not as wide as its rows, does not divide the period or drops another share");
}  // namespace SavingsMasks
