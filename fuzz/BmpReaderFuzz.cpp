// Any byte string either loads as a section that every consumer can walk, or
// is refused; nothing reads outside the data.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "Bitmap.h"
#include "Dib.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    HBITMAP dib = LoadBitmapMemory(data, size);
    if (dib == nullptr) return 0;
    std::vector<uint8_t> rgb(static_cast<size_t>(DibStride(dib->ds.dsBm.bmWidth, 24)) *
                             static_cast<size_t>(dib->ds.dsBm.bmHeight));
    GetDIBitsRgb24(dib, rgb.data(), rgb.size());
    int32_t count = 0;
    std::free(GetBitmapColorTable(dib, &count));
    try {
        Bitmap page(dib);
    } catch (...) {
        std::abort();  // a section the reader accepted must load
    }
    DeleteObject(dib);
    return 0;
}
