#include <cstring>
#include <strings.h>

#include "Shell.h"

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
        if (strcasecmp(dot, known.extension) == 0) return known.type;
    return nullptr;
}
