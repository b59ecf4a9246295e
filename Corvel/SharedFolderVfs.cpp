#include "SharedFolderVfs.h"

#include <sqlite3.h>

#include <cstring>
#include <memory>
#include <string_view>

namespace {
constexpr const char* kName = "parsimo-shared-folder";

sqlite3_vfs* Base(sqlite3_vfs* vfs)
{
    return static_cast<sqlite3_vfs*>(vfs->pAppData);
}

bool IsJournal(const char* name)
{
    return name != nullptr && std::string_view(name).ends_with("-journal");
}

int Open(sqlite3_vfs* vfs, sqlite3_filename name, sqlite3_file* file, int flags, int* outFlags)
{
    sqlite3_vfs* base = Base(vfs);
    if ((flags & SQLITE_OPEN_MAIN_JOURNAL) != 0 && name != nullptr) {
        // (The EXISTS test would call an empty journal missing.)
        int writable = 0;
        if (base->xAccess(base, name, SQLITE_ACCESS_READWRITE, &writable) == SQLITE_OK && writable != 0)
            flags &= ~SQLITE_OPEN_CREATE;
    }
    return base->xOpen(base, name, file, flags, outFlags);
}

int Delete(sqlite3_vfs* vfs, const char* name, int syncFolder)
{
    sqlite3_vfs* base = Base(vfs);
    if (!IsJournal(name)) return base->xDelete(base, name, syncFolder);
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

// Registers the layer on first use and takes it out again when the program or
// library is unloaded, so that SQLite never keeps a pointer into freed code.
class Registration {
public:
    Registration()
    {
        sqlite3_vfs* base = sqlite3_vfs_find(nullptr);
        if (base == nullptr) return;
        m_vfs = *base;
        m_vfs.zName = kName;
        m_vfs.pAppData = base;
        m_vfs.pNext = nullptr;
        m_vfs.xOpen = &Open;
        m_vfs.xDelete = &Delete;
        m_registered = sqlite3_vfs_register(&m_vfs, 0) == SQLITE_OK;
    }
    ~Registration()
    {
        if (m_registered) sqlite3_vfs_unregister(&m_vfs);
    }
    Registration(const Registration&) = delete;
    Registration& operator=(const Registration&) = delete;
    bool IsRegistered() const { return m_registered; }

private:
    sqlite3_vfs m_vfs{};
    bool m_registered = false;
};
}  // namespace

const char* SharedFolderVfs::Name()
{
    static const Registration registration;
    return registration.IsRegistered() ? kName : nullptr;
}
