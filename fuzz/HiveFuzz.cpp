// Any hive text parses without a fault, and what it gives serializes and
// parses again.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "RegistryHive.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    RegistryHive hive;
    hive.Parse(std::string_view(reinterpret_cast<const char*>(data), size));
    RegistryHive again;
    again.Parse(hive.Serialize());
    return 0;
}
