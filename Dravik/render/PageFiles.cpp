#include "PageFiles.h"

#include <algorithm>
#include <cerrno>
#include <string>
#include <utility>

#include "Log.h"

namespace {
// Not a page name: the job's clean-up takes spares for none of its files.
constexpr const char* kSparePattern = "_dk_spare%d.tm_";
static_assert(PageFiles::kMaxSpares <= 10, "spares are numbered with one digit, as kSpareMask finds them");
}  // namespace

PageFiles::PageFiles(const char* dataDir, const char* namePattern, std::function<void(const char*)> callback)
    : m_DataDir(dataDir ? dataDir : ""), m_Pattern(namePattern ? namePattern : ""), m_pCallback(std::move(callback))
{ }

PageFiles::~PageFiles()
{
    // A page still open here was never finished: it must not be left looking whole.
    if (m_pSpare || m_File.IsOpen()) ClosePage(false);
    // A page name still held keeps its file; a spare name someone else took away is left alone.
    for (const auto& spare : m_Spares)
        if (spare->file.NameCount() > 0 && !DeleteFile(spare->name.GetText())) LOG_LAST_ERROR(2);
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
    m_pSpare = TakeSpare();
    if (m_pSpare) return true;
    if (!m_File.Create(m_Name.GetText(), true)) {
        LOG_LAST_ERROR(2);
        LogMessage(2, "Could not create the page file %s.\r\n", m_Name.GetText());
        return false;
    }
    return true;
}

bool PageFiles::WritePage(const uint8_t* data, size_t size)
{
    if (Target().Write(data, size)) return true;
    LOG_LAST_ERROR(2);
    LogMessage(2, "Could not write the page file %s.\r\n", m_Name.GetText());
    return false;
}

long PageFiles::MovePage(int pipe, size_t size)
{
    const long moved = Target().MoveFromPipe(pipe, size);
    if (moved >= 0) return moved;
    // A file system that takes no moves took nothing: the reader copies instead.
    if (errno == EINVAL) return kNotMoved;
    LOG_LAST_ERROR(2);
    LogMessage(2, "Could not write the page file %s.\r\n", m_Name.GetText());
    return -1;
}

// A spare whose last page the handler has deleted, else a new one while
// there are fewer than kMaxSpares; null when none can be had.
PageFiles::Spare* PageFiles::TakeSpare()
{
    const auto now = std::chrono::steady_clock::now();
    for (auto it = m_Spares.begin(); it != m_Spares.end();) {
        Spare& spare = **it;
        const long names = spare.file.NameCount();
        if (names > 1) {  // its page is waiting or being handled
            ++it;
            continue;
        }
        if (names == 1 && now - spare.made < kSpareLifetime && spare.file.Rewind()) return &spare;
        // Too old, or no longer ours: a new spare takes its place.
        if (names == 1 && !DeleteFile(spare.name.GetText())) LOG_LAST_ERROR(2);
        it = m_Spares.erase(it);
    }
    if (!m_bSpares || m_Spares.size() >= kMaxSpares) return nullptr;
    // The lowest number no spare has: names stay few, and a run cut off
    // before it could remove its spares leaves them to the next.
    int32_t number = 0;
    while (std::any_of(m_Spares.begin(), m_Spares.end(), [number](const auto& s) { return s->number == number; }))
        ++number;
    auto spare = std::make_unique<Spare>();
    TextBuffer fileName;
    FormatName(kSparePattern, number, fileName);
    spare->name = TextBuffer(m_DataDir, fileName);
    if (spare->name.GetLength() > kMaxPath || !spare->file.Create(spare->name.GetText())) {
        LOG_LAST_ERROR(2);
        LogMessage(2, "Could not create the spare page file %s; pages go to files of their own.\r\n",
                   spare->name.GetText());
        m_bSpares = false;
        return nullptr;
    }
    // The handler locks the page name, the same file, to delete it.
    spare->file.Unlock();
    spare->number = number;
    spare->made = now;
    m_Spares.push_back(std::move(spare));
    return m_Spares.back().get();
}

bool PageFiles::ClosePage(bool complete)
{
    Spare* spare = std::exchange(m_pSpare, nullptr);
    if (!spare) return CloseOwnFile(complete);
    if (!complete) return true;  // never named: the spare takes the next page
    if (!spare->file.CutHere() || !spare->file.AddName(spare->name.GetText(), m_Name.GetText())) {
        LOG_LAST_ERROR(2);
        LogMessage(2, "Could not create the page file %s.\r\n", m_Name.GetText());
        return false;
    }
    if (m_pCallback) m_pCallback(m_Name.GetText());
    return true;
}

// Ends a page written to a file of its own name.
bool PageFiles::CloseOwnFile(bool complete)
{
    if (!m_File.Close() && complete) {
        LOG_LAST_ERROR(2);
        LogMessage(2, "Could not write the page file %s.\r\n", m_Name.GetText());
        if (!DeleteFile(m_Name.GetText())) LOG_LAST_ERROR(2);
        return false;
    }
    if (!complete) {
        if (!DeleteFile(m_Name.GetText())) LOG_LAST_ERROR(2);
        return true;
    }
    if (m_pCallback) m_pCallback(m_Name.GetText());
    return true;
}
