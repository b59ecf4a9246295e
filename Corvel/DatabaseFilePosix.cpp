#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "DatabaseFile.h"

namespace {
constexpr mode_t kOwnerOnly = 0600;
constexpr mode_t kAdminsRead = 0640;
constexpr const char* kAdminGroup = "lpadmin";
constexpr char kSQLiteHeader[] = "SQLite format 3";  // with its terminator: 16 bytes

DatabaseFileKind Inspect(int fd, bool& own)
{
    struct stat info { };
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) return DatabaseFileKind::Unusable;
    own = info.st_uid == geteuid();
    if (info.st_size == 0) return DatabaseFileKind::Empty;
    char header[sizeof kSQLiteHeader] = {};
    const ssize_t got = pread(fd, header, sizeof header, 0);
    return got == static_cast<ssize_t>(sizeof header) && std::memcmp(header, kSQLiteHeader, sizeof header) == 0
               ? DatabaseFileKind::SQLite
               : DatabaseFileKind::Other;
}

// Makes `path` a new empty file readable by its owner alone, or, made by
// root, also by the printing administrators (group lpadmin) who read the
// all-users report; false when it exists already or cannot be made. The file
// is made under a name of its own beside `path` and given its mode and group
// before it takes its name, so that nobody can open it in between. On a file
// system without hard links it is made in place.
bool CreatePrivateFile(const char* path)
{
    const bool root = geteuid() == 0;
    const struct group* admins = root ? getgrnam(kAdminGroup) : nullptr;
    const mode_t mode = admins ? kAdminsRead : kOwnerOnly;
    const auto settle = [&](int fd) {
        return fchmod(fd, mode) == 0 && (!admins || fchown(fd, 0, admins->gr_gid) == 0);
    };
    std::string temporary = std::string(path) + ".new-XXXXXX";
    int fd = mkostemp(temporary.data(), O_CLOEXEC);
    bool made = fd >= 0 && settle(fd) && link(temporary.c_str(), path) == 0;
    const bool noLinks = fd >= 0 && !made && (errno == EPERM || errno == EOPNOTSUPP);
    if (fd >= 0) {
        close(fd);
        unlink(temporary.c_str());
    }
    if (!noLinks) return made;
    fd = open(path, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, kOwnerOnly);
    if (fd < 0) return false;
    made = settle(fd);
    close(fd);
    return made;
}
}  // namespace

DatabaseFileKind PrepareDatabaseFile(const char* path, bool create)
{
    if (path == nullptr || path[0] == '\0') return DatabaseFileKind::Unusable;
    if (create && CreatePrivateFile(path)) return DatabaseFileKind::Empty;
    bool own = false;
    return InspectDatabaseFile(path, own);
}

DatabaseFileKind InspectDatabaseFile(const char* path, bool& own)
{
    own = false;
    if (path == nullptr || path[0] == '\0') return DatabaseFileKind::Unusable;
    // O_NONBLOCK: opening a planted FIFO must not wait for a writer.
    const int fd = open(path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT ? DatabaseFileKind::Missing : DatabaseFileKind::Unusable;
    const DatabaseFileKind kind = Inspect(fd, own);
    close(fd);
    return kind;
}

bool IsRegularOrMissing(const char* path)
{
    struct stat info { };
    if (path == nullptr) return false;
    if (lstat(path, &info) != 0) return errno == ENOENT;
    return S_ISREG(info.st_mode);
}
