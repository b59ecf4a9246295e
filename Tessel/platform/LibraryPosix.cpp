#include <dlfcn.h>

#include "Library.h"

Library::Library(const char* path)
{
    // Local binding: two loads of the locator must not share symbols with the program.
    if (path != nullptr) m_pHandle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
}

Library::~Library()
{
    if (m_pHandle != nullptr) dlclose(m_pHandle);
}

void* Library::GetSymbol(const char* name) const
{
    return m_pHandle == nullptr || name == nullptr ? nullptr : dlsym(m_pHandle, name);
}
