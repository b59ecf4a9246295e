// The two C exports the toner-saving filter loads by name.
#include "KZTLite.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "InkMap.h"
#include "MicrLineFinder.h"

int32_t KZTGetMicrLineRegions(HBITMAP page, int32_t dpi, int32_t, char** answer)
{
    if (answer == nullptr) return 0;
    const InkMap ink(page);
    const std::vector<CodeLineBox> lines = MicrLineFinder(ink, dpi).Find();
    if (lines.empty()) return 0;
    std::string text;
    char group[64];
    for (const CodeLineBox& b : lines) {
        std::snprintf(group, sizeof group, "%s%d,%d,%d,%d", text.empty() ? "" : ",", b.left, b.top, b.right, b.bottom);
        text += group;
    }
    // The caller releases the answer through KZTFreeMem, so it comes from malloc.
    auto* copy = static_cast<char*>(std::malloc(text.size() + 1));
    if (copy == nullptr) return 0;
    text.copy(copy, text.size());
    copy[text.size()] = '\0';
    *answer = copy;
    return static_cast<int32_t>(lines.size());
}

void KZTFreeMem(char** answer)
{
    if (answer == nullptr) return;
    std::free(*answer);
    *answer = nullptr;
}
