#include "GuardedVfs.h"

#include <sqlite3.h>

#include <cstring>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <string_view>

#include "DatabaseFile.h"

namespace {
constexpr const char* kName = "parsimo-guarded";
constexpr std::string_view kJournalSuffix = "-journal";

// Registers the layer on first use and takes it out again when the program or
// library is unloaded, so that SQLite never keeps a pointer into freed code.
class Registration {
public:
    Registration();
    ~Registration()
    {
        if (m_registered) sqlite3_vfs_unregister(&m_vfs);
    }
    Registration(const Registration&) = delete;
    Registration& operator=(const Registration&) = delete;
    bool IsRegistered() const { return m_registered; }

private:
    static Registration& From(sqlite3_vfs* vfs) { return *static_cast<Registration*>(vfs->pAppData); }
    static int Open(sqlite3_vfs* vfs, sqlite3_filename name, sqlite3_file* file, int flags, int* outFlags);
    static int Delete(sqlite3_vfs* vfs, const char* name, int syncFolder);

    // True for the journal of a database opened through this layer.
    bool IsOwnJournal(const char* name);

    sqlite3_vfs m_vfs{};
    sqlite3_vfs* m_pBase = nullptr;
    std::mutex m_mutex;
    // Every database this process opened; a few names for its whole life.
    std::set<std::string, std::less<>> m_databases;
    bool m_registered = false;
};

Registration::Registration()
{
    m_pBase = sqlite3_vfs_find(nullptr);
    if (m_pBase == nullptr) return;
    m_vfs = *m_pBase;
    m_vfs.zName = kName;
    m_vfs.pAppData = this;
    m_vfs.pNext = nullptr;
    m_vfs.xOpen = &Open;
    m_vfs.xDelete = &Delete;
    m_registered = sqlite3_vfs_register(&m_vfs, 0) == SQLITE_OK;
}

bool Registration::IsOwnJournal(const char* name)
{
    const std::string_view text = name != nullptr ? name : "";
    if (!text.ends_with(kJournalSuffix)) return false;
    const std::lock_guard lock(m_mutex);
    return m_databases.contains(text.substr(0, text.size() - kJournalSuffix.size()));
}

int Registration::Open(sqlite3_vfs* vfs, sqlite3_filename name, sqlite3_file* file, int flags, int* outFlags)
{
    Registration& layer = From(vfs);
    sqlite3_vfs* base = layer.m_pBase;
    file->pMethods = nullptr;
    if ((flags & (SQLITE_OPEN_SUPER_JOURNAL | SQLITE_OPEN_WAL)) != 0) return SQLITE_CANTOPEN;
    if (name != nullptr && !IsRegularOrMissing(name)) return SQLITE_CANTOPEN;
    if ((flags & SQLITE_OPEN_MAIN_JOURNAL) != 0 && name != nullptr) {
        // (The EXISTS test would call an empty journal missing.)
        int writable = 0;
        if (base->xAccess(base, name, SQLITE_ACCESS_READWRITE, &writable) == SQLITE_OK && writable != 0)
            flags &= ~SQLITE_OPEN_CREATE;
    }
    const int rc = base->xOpen(base, name, file, flags, outFlags);
    if (rc == SQLITE_OK && (flags & SQLITE_OPEN_MAIN_DB) != 0 && name != nullptr) {
        const std::lock_guard lock(layer.m_mutex);
        layer.m_databases.emplace(name);
    }
    return rc;
}

// Empties the database's own journal; refuses every other name.
int Registration::Delete(sqlite3_vfs* vfs, const char* name, int /*syncFolder*/)
{
    Registration& layer = From(vfs);
    sqlite3_vfs* base = layer.m_pBase;
    if (!layer.IsOwnJournal(name) || !IsRegularOrMissing(name)) return SQLITE_IOERR_DELETE;
    std::unique_ptr<sqlite3_file, decltype(&sqlite3_free)> file(
        static_cast<sqlite3_file*>(sqlite3_malloc(base->szOsFile)), &sqlite3_free);
    if (!file) return SQLITE_NOMEM;
    std::memset(file.get(), 0, static_cast<size_t>(base->szOsFile));
    int outFlags = 0;
    if (base->xOpen(base, name, file.get(), SQLITE_OPEN_READWRITE | SQLITE_OPEN_MAIN_JOURNAL, &outFlags) != SQLITE_OK)
        return SQLITE_IOERR_DELETE_NOENT;
    int rc = (outFlags & SQLITE_OPEN_READONLY) != 0 ? SQLITE_IOERR_DELETE : file->pMethods->xTruncate(file.get(), 0);
    if (rc == SQLITE_OK) rc = file->pMethods->xSync(file.get(), SQLITE_SYNC_NORMAL);
    file->pMethods->xClose(file.get());
    return rc == SQLITE_OK ? SQLITE_OK : SQLITE_IOERR_DELETE;
}
}  // namespace

const char* GuardedVfs::Name()
{
    static Registration registration;
    return registration.IsRegistered() ? kName : nullptr;
}
