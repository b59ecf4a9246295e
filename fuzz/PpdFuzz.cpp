// Any PPD text is parsed or refused without a fault.
#include <cstddef>
#include <cstdint>

#include "PpdFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    PpdFile ppd;
    if (ppd.Parse(reinterpret_cast<const char*>(data), size)) {
        ppd.GetDefaultPageSize();
        ppd.GetResolutions();
    }
    return 0;
}
