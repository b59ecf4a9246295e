#include "PpdFile.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "DevModeOptions.h"
#include "Log.h"

namespace {
std::string Trim(const std::string& text)
{
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return std::string();
    const size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

std::string Unquote(const std::string& value)
{
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') return value.substr(1, value.size() - 2);
    return value;
}

// Exactly count finite numbers within [0, PpdFile::kMaxSide], blank separated.
bool ParseNumbers(const std::string& text, double* out, int count)
{
    const char* p = text.c_str();
    for (int i = 0; i < count; ++i) {
        char* end = nullptr;
        const double value = strtod(p, &end);
        if (end == p || !std::isfinite(value) || value < 0.0 || value > PpdFile::kMaxSide) return false;
        out[i] = value;
        p = end;
    }
    while (*p == ' ' || *p == '\t') ++p;
    return *p == '\0';
}
}  // namespace

bool PpdFile::Parse(const char* text, size_t size)
{
    // Nothing of an earlier text may survive into this one.
    *this = PpdFile();
    if (!text || size > kMaxFileSize) {
        LogMessage(2, "PPD of %zu bytes refused (limit %zu).\r\n", size, kMaxFileSize);
        return false;
    }
    size_t pos = 0;
    while (pos < size) {
        const char* nl = static_cast<const char*>(memchr(text + pos, '\n', size - pos));
        size_t end = nl ? static_cast<size_t>(nl - text) : size;
        std::string line(text + pos, end - pos);
        pos = end + 1;
        if (line.size() > kMaxLineLength || line.size() < 2 || line[0] != '*' || line[1] == '%') continue;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const size_t colon = line.find(':');
        if (colon == std::string::npos) continue;
        std::string head = line.substr(1, colon - 1);
        std::string value = Trim(line.substr(colon + 1));
        // A quoted value may go on over further lines up to its closing quote.
        if (!value.empty() && value.front() == '"' && (value.size() == 1 || value.back() != '"')) {
            while (pos < size && value.size() <= kMaxLineLength) {
                nl = static_cast<const char*>(memchr(text + pos, '\n', size - pos));
                end = nl ? static_cast<size_t>(nl - text) : size;
                std::string more(text + pos, end - pos);
                pos = end + 1;
                if (!more.empty() && more.back() == '\r') more.pop_back();
                value += '\n';
                value += more;
                if (more.find('"') != std::string::npos) break;
            }
            value = Trim(value);
        }
        const size_t blank = head.find_first_of(" \t");
        std::string keyword = head.substr(0, blank);
        std::string option;
        if (blank != std::string::npos) {
            option = Trim(head.substr(blank + 1));
            option = option.substr(0, option.find('/'));
        }
        ParseLine(keyword, option, Unquote(value));
    }
    // A size without its paper dimension cannot be placed on paper.
    for (size_t i = m_pageSizes.size(); i-- > 0;) {
        if (m_pageSizes[i].width <= 0.0 || m_pageSizes[i].length <= 0.0) {
            m_pageSizes.erase(m_pageSizes.begin() + static_cast<std::ptrdiff_t>(i));
            m_hasArea.erase(m_hasArea.begin() + static_cast<std::ptrdiff_t>(i));
        }
    }
    for (size_t i = 0; i < m_pageSizes.size(); ++i) {
        PpdPageSize& page = m_pageSizes[i];
        if (!m_hasArea[i] || page.right > page.width || page.top > page.length) {
            page.left = page.bottom = 0.0;
            page.right = page.width;
            page.top = page.length;
        }
    }
    return !m_pageSizes.empty();
}

PpdPageSize& PpdFile::PageSizeFor(const std::string& name)
{
    for (PpdPageSize& page : m_pageSizes)
        if (page.name == name) return page;
    m_pageSizes.push_back(PpdPageSize{name});
    m_hasArea.push_back(false);
    return m_pageSizes.back();
}

void PpdFile::ParseLine(const std::string& keyword, const std::string& option, const std::string& value)
{
    if (keyword.starts_with("Default") && (m_defaults.size() < kMaxPageSizes || m_defaults.count(keyword)))
        m_defaults[keyword.substr(7)] = value;
    if (keyword == "DefaultPageSize") {
        m_defaultPageSize = value;
    } else if (keyword == "DefaultResolution") {
        m_defaultResolution = DevModeOptions::ParseResolution(value.c_str());
    } else if (keyword == "Resolution" && !option.empty()) {
        const int dpi = DevModeOptions::ParseResolution(option.c_str());
        if (dpi > 0 && m_resolutions.size() < kMaxPageSizes) m_resolutions.push_back(dpi);
    } else if (keyword == "CustomPageSize") {
        m_customSize = strcasecmp(option.c_str(), "True") == 0;
    } else if ((keyword == "PaperDimension" || keyword == "ImageableArea") && !option.empty()) {
        double numbers[4];
        const bool isArea = keyword == "ImageableArea";
        if (!ParseNumbers(value, numbers, isArea ? 4 : 2)) {
            LogMessage(2, "PPD line *%s %s has bad numbers; skipped.\r\n", keyword.c_str(), option.c_str());
            return;
        }
        if (isArea && (numbers[0] >= numbers[2] || numbers[1] >= numbers[3])) {
            LogMessage(2, "PPD line *%s %s has an empty area; skipped.\r\n", keyword.c_str(), option.c_str());
            return;
        }
        if (m_pageSizes.size() >= kMaxPageSizes && !FindPageSize(option.c_str())) return;
        PpdPageSize& page = PageSizeFor(option);
        if (isArea) {
            page.left = numbers[0];
            page.bottom = numbers[1];
            page.right = numbers[2];
            page.top = numbers[3];
            m_hasArea[static_cast<size_t>(&page - m_pageSizes.data())] = true;
        } else {
            page.width = numbers[0];
            page.length = numbers[1];
        }
    }
}

const PpdPageSize* PpdFile::FindPageSize(const char* name) const
{
    if (!name) return nullptr;
    for (const PpdPageSize& page : m_pageSizes)
        if (strcasecmp(page.name.c_str(), name) == 0) return &page;
    return nullptr;
}

std::string PpdFile::GetDefault(const std::string& option) const
{
    const auto found = m_defaults.find(option);
    return found == m_defaults.end() ? std::string() : found->second;
}

const PpdPageSize* PpdFile::GetDefaultPageSize() const
{
    const PpdPageSize* page = FindPageSize(m_defaultPageSize.c_str());
    if (page) return page;
    return m_pageSizes.empty() ? nullptr : &m_pageSizes.front();
}
