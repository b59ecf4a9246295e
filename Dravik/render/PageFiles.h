#pragma once
#include <cstdint>
#include <functional>

#include "File.h"
#include "GhostScript.h"
#include "PageSink.h"
#include "TextBuffer.h"

// Writes each page of the stream to its own file in the data folder, named
// like Ghostscript names its own output files, and hands each complete page
// file to the page callback. A dropped page's file is removed.
class PageFiles : public PageSink {
public:
    PageFiles(const char* dataDir, const char* namePattern, std::function<void(const char*)> callback);
    ~PageFiles() override;
    PageFiles(const PageFiles&) = delete;
    PageFiles& operator=(const PageFiles&) = delete;

    bool OpenPage(int32_t number) override;
    bool WritePage(const uint8_t* data, size_t size) override;
    long MovePage(int pipe, size_t size) override;
    void ClosePage(bool complete) override;

    // Expands the one "%d" conversion of a page name pattern (flags 0 and a
    // width up to 9 allowed, "%%" for a percent sign) without handing the
    // pattern to printf. False for any other conversion.
    static bool FormatName(const char* pattern, int32_t number, TextBuffer& name);

private:
    TextBuffer m_DataDir;
    TextBuffer m_Pattern;
    std::function<void(const char*)> m_pCallback;
    File m_File;
    TextBuffer m_Name;
};
