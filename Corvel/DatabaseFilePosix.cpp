#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "DatabaseFile.h"

namespace {
constexpr mode_t kEveryoneWrites = 0666;
constexpr char kSQLiteHeader[] = "SQLite format 3";  // with its terminator: 16 bytes

DatabaseFileKind Inspect(int fd)
{
    struct stat info { };
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) return DatabaseFileKind::Unusable;
    if (info.st_size == 0) return DatabaseFileKind::Empty;
    char header[sizeof kSQLiteHeader] = {};
    const ssize_t got = pread(fd, header, sizeof header, 0);
    return got == static_cast<ssize_t>(sizeof header) && std::memcmp(header, kSQLiteHeader, sizeof header) == 0
               ? DatabaseFileKind::SQLite
               : DatabaseFileKind::Other;
}
}  // namespace

DatabaseFileKind PrepareDatabaseFile(const char* path, bool create)
{
    if (path == nullptr || path[0] == '\0') return DatabaseFileKind::Unusable;
    if (create) {
        const int fd = open(path, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, kEveryoneWrites);
        if (fd >= 0) {
            // The umask would take the other users' write permission away.
            const bool ok = fchmod(fd, kEveryoneWrites) == 0;
            close(fd);
            return ok ? DatabaseFileKind::Empty : DatabaseFileKind::Unusable;
        }
    }
    // O_NONBLOCK: opening a planted FIFO must not wait for a writer.
    const int fd = open(path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT ? DatabaseFileKind::Missing : DatabaseFileKind::Unusable;
    const DatabaseFileKind kind = Inspect(fd);
    close(fd);
    return kind;
}
