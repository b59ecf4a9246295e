#include "PageFiles.h"

#include <cerrno>
#include <string>
#include <utility>

#include "Log.h"

PageFiles::PageFiles(const char* dataDir, const char* namePattern, std::function<void(const char*)> callback)
    : m_DataDir(dataDir ? dataDir : ""), m_Pattern(namePattern ? namePattern : ""), m_pCallback(std::move(callback))
{ }

PageFiles::~PageFiles()
{
    // A page still open here was never finished: it must not be left looking whole.
    if (m_File.IsOpen()) ClosePage(false);
}

bool PageFiles::FormatName(const char* pattern, int32_t number, TextBuffer& name)
{
    std::string out;
    bool converted = false;
    for (const char* p = pattern; *p; ++p) {
        if (*p != '%') {
            out += *p;
            continue;
        }
        if (p[1] == '%') {
            out += '%';
            ++p;
            continue;
        }
        const char* q = p + 1;
        const bool zeros = *q == '0';
        if (zeros) ++q;
        int width = 0;
        if (*q >= '1' && *q <= '9') width = *q++ - '0';
        if (*q != 'd' || converted) return false;
        std::string digits = std::to_string(number);
        if (int(digits.size()) < width) {
            const size_t pad = size_t(width) - digits.size();
            digits.insert(number < 0 && zeros ? 1 : 0, pad, zeros ? '0' : ' ');
        }
        out += digits;
        converted = true;
        p = q;
    }
    name.Assign(out.c_str());
    return true;
}

bool PageFiles::OpenPage(int32_t number)
{
    TextBuffer fileName;
    if (!FormatName(m_Pattern.GetText() ? m_Pattern.GetText() : "", number, fileName)) {
        LogMessage(2, "The page file name pattern %s is not usable.\r\n", m_Pattern.GetText());
        return false;
    }
    m_Name = TextBuffer(m_DataDir, fileName);
    if (m_Name.GetLength() > kMaxPath) {
        LogMessage(2, "The page file name %s is longer than %d characters.\r\n", m_Name.GetText(), kMaxPath);
        return false;
    }
    if (!m_File.Create(m_Name.GetText(), true)) {
        LOG_LAST_ERROR(2);
        LogMessage(2, "Could not create the page file %s.\r\n", m_Name.GetText());
        return false;
    }
    return true;
}

bool PageFiles::WritePage(const uint8_t* data, size_t size)
{
    if (m_File.Write(data, size)) return true;
    LOG_LAST_ERROR(2);
    LogMessage(2, "Could not write the page file %s.\r\n", m_Name.GetText());
    return false;
}

long PageFiles::MovePage(int pipe, size_t size)
{
    const long moved = m_File.MoveFromPipe(pipe, size);
    if (moved >= 0) return moved;
    // A file system that takes no moves took nothing: the reader copies instead.
    if (errno == EINVAL) return kNotMoved;
    LOG_LAST_ERROR(2);
    LogMessage(2, "Could not write the page file %s.\r\n", m_Name.GetText());
    return -1;
}

void PageFiles::ClosePage(bool complete)
{
    if (!m_File.Close() && complete) {
        LOG_LAST_ERROR(2);
        LogMessage(2, "Could not write the page file %s.\r\n", m_Name.GetText());
        complete = false;
    }
    if (!complete) {
        if (!DeleteFile(m_Name.GetText())) LOG_LAST_ERROR(2);
        return;
    }
    if (m_pCallback) m_pCallback(m_Name.GetText());
}
