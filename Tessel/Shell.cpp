#include <cctype>
#include <cstring>

#include "Shell.h"

namespace {
bool SameIgnoringCase(const char* a, const char* b)
{
    for (; *a && *b; ++a, ++b)
        if (std::tolower(static_cast<unsigned char>(*a)) != std::tolower(static_cast<unsigned char>(*b))) return false;
    return *a == *b;
}
}  // namespace

const char* MimeTypeByExtension(const char* path)
{
    if (!path) return nullptr;
    const char* slash = strrchr(path, '/');
    const char* name = slash ? slash + 1 : path;
    const char* dot = strrchr(name, '.');
    if (!dot) return nullptr;
    static const struct {
        const char* extension;
        const char* type;
    } kTypes[] = {{".pdf", "application/pdf"}, {".jpg", "image/jpeg"}, {".jpeg", "image/jpeg"}, {".bmp", "image/bmp"}};
    for (const auto& known : kTypes)
        if (SameIgnoringCase(dot, known.extension)) return known.type;
    return nullptr;
}
