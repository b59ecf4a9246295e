#pragma once
#include <cstdint>
#include <string>

// A BMP file of the given total length (at least 54): a file header that
// gives that length, an info header, and pixel bytes filled with fill.
inline std::string FakeBmpPage(uint32_t length, char fill)
{
    std::string page(length, fill);
    auto put32 = [&page](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) page[at + i] = char((v >> (8 * i)) & 0xff);
    };
    page[0] = 'B';
    page[1] = 'M';
    put32(2, length);
    put32(6, 0);
    put32(10, 54);
    put32(14, 40);
    return page;
}
