#pragma once
#include <cstring>

// A shared library loaded for the lifetime of the object (LoadLibraryA /
// FreeLibrary). Symbols are looked up by their C name.
class Library {
public:
    explicit Library(const char* path);
    virtual ~Library();
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;

    bool IsLoaded() const { return m_pHandle != nullptr; }
    // Address of an exported symbol, or null (also when not loaded).
    void* GetSymbol(const char* name) const;
    // An exported function as a pointer of type Fn, or null.
    template <class Fn>
    Fn GetFunction(const char* name) const
    {
        void* symbol = GetSymbol(name);
        Fn fn = nullptr;
        static_assert(sizeof(fn) == sizeof(symbol), "function and data pointers differ in size");
        std::memcpy(&fn, &symbol, sizeof(fn));
        return fn;
    }

private:
    void* m_pHandle = nullptr;
};
