#pragma once
#include <cstddef>
#include <map>
#include <string>
#include <vector>

// One page size of a PPD, in PostScript points (1/72 inch), portrait.
struct PpdPageSize {
    std::string name;
    double width = 0.0;
    double length = 0.0;
    // Printable area: lower-left and upper-right corners, origin bottom-left.
    double left = 0.0;
    double bottom = 0.0;
    double right = 0.0;
    double top = 0.0;
};

// The few facts of a PPD the printer needs: page sizes with their printable
// areas, the default page size and the resolutions. Reads untrusted text:
// bad lines are skipped, numbers are range-checked, counts are bounded.
class PpdFile {
public:
    static constexpr size_t kMaxFileSize = 4u << 20;
    static constexpr size_t kMaxPageSizes = 1000;
    static constexpr size_t kMaxLineLength = 4096;
    // Largest page side accepted, points (about 3.3 m, beyond any DEVMODE size).
    static constexpr double kMaxSide = 9500.0;

    // False when the text holds no usable page size.
    bool Parse(const char* text, size_t size);
    // Reads and parses the PPD at path: a regular file of at most
    // kMaxFileSize bytes (never waiting on a pipe); false as Parse, or when
    // it cannot be read.
    bool Load(const std::string& path);

    const std::vector<PpdPageSize>& GetPageSizes() const { return m_pageSizes; }
    const PpdPageSize* FindPageSize(const char* name) const;
    // The *DefaultPageSize, else the first page size; null when there is none.
    const PpdPageSize* GetDefaultPageSize() const;
    // Horizontal dots per inch of *DefaultResolution, else 0.
    int GetDefaultResolution() const { return m_defaultResolution; }
    // Horizontal dots per inch of each *Resolution choice.
    const std::vector<int>& GetResolutions() const { return m_resolutions; }
    bool AllowsCustomSize() const { return m_customSize; }
    // The default choice of an option ("*DefaultTonerSaving: 30"); empty when none.
    std::string GetDefault(const std::string& option) const;

private:
    void ParseLine(const std::string& keyword, const std::string& option, const std::string& value);
    PpdPageSize& PageSizeFor(const std::string& name);

    std::vector<PpdPageSize> m_pageSizes;
    std::vector<bool> m_hasArea;
    std::string m_defaultPageSize;
    int m_defaultResolution = 0;
    std::vector<int> m_resolutions;
    bool m_customSize = false;
    std::map<std::string, std::string> m_defaults;
};
