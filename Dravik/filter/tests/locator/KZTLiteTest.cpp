// A MICR locator that answers a fixed text per resolution, so tests can feed
// the filter any answer through the real loading path.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const char* AnswerFor(int32_t dpi)
{
    switch (dpi) {
    case 1: return "10,20,300,40";
    case 3: return "";
    case 5: return "2,1,3,2,";
    case 6: return "0,0,99999,99999";
    case 9:  // nine bands across the page, for the filter benchmark
        return "100,100,2100,160,200,400,2200,460,300,700,2300,760,400,1000,2400,1060,500,1300,2500,1360,"
               "600,1600,2600,1660,700,1900,2700,1960,800,2200,2800,2260,900,2500,2900,2560";
    default: return nullptr;  // 4 and others: no answer at all
    }
}

}  // namespace

extern "C" int32_t KZTGetMicrLineRegions(void*, int32_t dpi, int32_t, char** answer)
{
    const char* text = AnswerFor(dpi);
    if (text == nullptr) return 0;
    *answer = static_cast<char*>(std::malloc(std::strlen(text) + 1));
    if (*answer != nullptr) std::strcpy(*answer, text);
    return 1;
}

extern "C" void KZTFreeMem(char** answer)
{
    std::free(*answer);
    *answer = nullptr;
    // Each test process names its own record, so parallel tests do not share it.
    const char* path = std::getenv("KZT_FREE_LOG");
    if (std::FILE* log = std::fopen(path ? path : KZT_FREE_LOG, "a")) {
        std::fputs("freed\n", log);
        std::fclose(log);
    }
}
