#pragma once

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

private:
    void* m_pHandle = nullptr;
};
