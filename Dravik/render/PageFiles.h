#pragma once
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "File.h"
#include "GhostScript.h"
#include "PageSink.h"
#include "TextBuffer.h"

// Writes each page of the stream to its own file in the data folder, named
// like Ghostscript names its own output files, and hands each complete page
// file to the page callback.
//
// A page is written into a spare file of a name of our own and given its
// page name (a second name of the same file) only once it is whole, so a
// page cut short never shows. Once the handler has deleted the page name,
// the spare takes a later page: its bytes go into memory and disk space the
// system already holds for the file, where a new file reserves them anew for
// every page and frees them when the page is deleted. Without a spare to be
// had, a page goes to a new file of its own name, removed when dropped.
class PageFiles : public PageSink {
public:
    // Pages on disk at once: those waiting, the one being loaded and the one being written.
    static constexpr size_t kMaxSpares = 4;
    // The spares' names, as a file search mask: one digit, as kMaxSpares allows.
    static constexpr const char* kSpareMask = "_dk_spare?.tm_";
    // A spare is replaced after this: the system writes a file that stays
    // changed for half a minute out to disk, which no page file needs.
    static constexpr std::chrono::seconds kSpareLifetime{10};

    PageFiles(const char* dataDir, const char* namePattern, std::function<void(const char*)> callback);
    ~PageFiles() override;
    PageFiles(const PageFiles&) = delete;
    PageFiles& operator=(const PageFiles&) = delete;

    bool OpenPage(int32_t number) override;
    bool WritePage(const uint8_t* data, size_t size) override;
    long MovePage(int pipe, size_t size) override;
    bool ClosePage(bool complete) override;

    // Expands the one "%d" conversion of a page name pattern (flags 0 and a
    // width up to 9 allowed, "%%" for a percent sign) without handing the
    // pattern to printf. False for any other conversion.
    static bool FormatName(const char* pattern, int32_t number, TextBuffer& name);

private:
    struct Spare {
        File file;
        TextBuffer name;
        int32_t number = 0;
        std::chrono::steady_clock::time_point made;
    };

    Spare* TakeSpare();
    File& Target() { return m_pSpare ? m_pSpare->file : m_File; }
    bool CloseOwnFile(bool complete);

    TextBuffer m_DataDir;
    TextBuffer m_Pattern;
    std::function<void(const char*)> m_pCallback;
    std::vector<std::unique_ptr<Spare>> m_Spares;
    Spare* m_pSpare = nullptr;  // where the open page goes; else to m_File
    bool m_bSpares = true;      // false once a spare could not be made
    File m_File;
    TextBuffer m_Name;
};
