// Any answer of the MICR locator gives at most kMaxMicrRegions regions and
// never reads past its end.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "MicrLocator.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);  // NUL-terminated copy
    MicrRegion regions[kMaxMicrRegions + 1];
    int32_t count = -1;
    ParseMicrRegions(text.c_str(), &count, regions);
    if (count > kMaxMicrRegions) std::abort();
    return 0;
}
