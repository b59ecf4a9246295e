// The MICR locator on random small pages: whatever the pixels, depth, row
// order and resolution, it reads only inside the section and answers in form.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "Dib.h"
#include "KZTLite.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 6) return 0;
    // Header bytes: width (1..128), height (1..64), depth, row order and resolution.
    const int32_t width = 1 + data[0] % 128;
    const int32_t height = 1 + data[1] % 64;
    const uint16_t depths[] = {1, 4, 8, 24, 32, 16};
    const uint16_t bits = depths[data[2] % 6];
    const bool topDown = (data[2] & 0x80) != 0;
    // Mostly a resolution at which characters span a few pixels; any 16-bit value otherwise.
    const int32_t dpi = (data[4] & 0x80) != 0 ? static_cast<int16_t>(data[3] | data[4] << 8) : 50 + data[3];
    const uint32_t colors = bits <= 8 ? data[5] % ((1u << bits) + 1) : 0;
    data += 6;
    size -= 6;

    RGBQUAD table[256];
    for (uint32_t i = 0; i < colors; ++i) table[i] = RGBQUAD{uint8_t(i * 37), uint8_t(i * 101), uint8_t(i * 13), 0};
    HBITMAP page = CreateDibSection(width, topDown ? -height : height, bits, BI_RGB, table, colors, nullptr);
    if (page == nullptr) return 0;
    // The rest of the input is the pixels, repeated to fill the page.
    auto* pixels = static_cast<uint8_t*>(page->ds.dsBm.bmBits);
    for (size_t i = 0; size > 0 && i < page->imageBytes; i += size)
        std::memcpy(pixels + i, data, size < page->imageBytes - i ? size : page->imageBytes - i);

    char* answer = nullptr;
    const int32_t count = KZTGetMicrLineRegions(page, dpi, 0, &answer);
    if ((count == 0) != (answer == nullptr) || count < 0 || count > 9) std::abort();
    if (answer != nullptr) {
        int32_t commas = 0;
        for (const char* c = answer; *c != '\0'; ++c) commas += *c == ',';
        if (commas != 4 * count - 1) std::abort();
    }
    KZTFreeMem(&answer);
    DeleteObject(page);
    return 0;
}
