// Log file access on POSIX: flock stands in for "no sharing", fcntl for the
// byte-range locks, and trimming replaces the file atomically.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "File.h"
#include "Log.h"

void WriteLogEntry(const char* text);
const char* SystemErrorText(int code, char* buffer, unsigned size);
int LastSystemError();

namespace {
constexpr off_t kChunk = 4096;

// Entries that found the log refused, kept for the next log that takes them
// (the early log in the all-users folder gives way to the per-user one).
constexpr size_t kMaxPending = 65536;
std::mutex gPendingMutex;
std::string gPending;

class LockedLog {
public:
    // Opens (creating) the log and takes the exclusive lock, waiting a bounded
    // time for another writer, on the file a trim may have put in place. A
    // link, anything but a plain file, or a file of another user is refused
    // (Refused()): in a folder shared by all users, somebody else may have
    // planted it to have us overwrite or block on something.
    explicit LockedLog(const char* path)
        : m_fd(OpenLockedFile(path, O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK, 0644, true, kLogBusyWaitMs))
    {
        struct stat st { };
        if (m_fd < 0) {
            m_bRefused = errno == ELOOP || errno == ENXIO;
        } else if (fstat(m_fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != geteuid()) {
            CloseHandle(m_fd);
            m_bRefused = true;
        }
    }
    ~LockedLog() { CloseHandle(m_fd); }  // closing releases the flock
    LockedLog(const LockedLog&) = delete;
    LockedLog& operator=(const LockedLog&) = delete;

    int fd() const { return m_fd; }
    bool Refused() const { return m_bRefused; }

private:
    int m_fd = -1;
    bool m_bRefused = false;
};

// Keeps the newest half of the locked log, starting at a whole line, by
// writing it to a side file and renaming that over the log.
bool TrimLocked(int fd, const char* path)
{
    struct stat st { };
    if (fstat(fd, &st) != 0) return false;
    const auto size = static_cast<unsigned long long>(st.st_size);
    if (size >> 32) return ftruncate(fd, 0) == 0;
    if (size < gLogMaxSize) return false;

    // A new file of a name nobody could have planted.
    std::string side = std::string(path) + ".XXXXXX";
    const int out = mkostemp(side.data(), O_CLOEXEC);
    if (out < 0) return false;
    fchmod(out, 0644);
    off_t readPos = static_cast<off_t>(size) - static_cast<off_t>(gLogMaxSize / 2);
    bool first = true, ok = true;
    char chunk[kChunk];
    while (ok) {
        const ssize_t got = pread(fd, chunk, sizeof chunk, readPos);
        if (got <= 0) break;
        readPos += got;
        const char* start = chunk;
        size_t count = static_cast<size_t>(got);
        if (first) {
            first = false;
            if (const void* lf = std::memchr(chunk, '\n', count)) {
                const char* after = static_cast<const char*>(lf) + 1;
                count -= static_cast<size_t>(after - chunk);
                start = after;
            }
        }
        ok = WriteAllTo(out, start, count);
    }
    ok = ok && fsync(out) == 0;
    close(out);
    if (!ok || rename(side.c_str(), path) != 0) {
        unlink(side.c_str());
        return false;
    }
    return true;
}

void Stamp(char (&stamp)[32])
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    std::snprintf(stamp, sizeof stamp, "%02d/%02d/%02d %02d:%02d:%02d ", local.tm_mon + 1, local.tm_mday,
                  local.tm_year % 100, local.tm_hour, local.tm_min, local.tm_sec);
}
}  // namespace

int LastSystemError()
{
    return errno;
}

const char* SystemErrorText(int code, char* buffer, unsigned size)
{
    char unknown[64];
    std::snprintf(unknown, sizeof unknown, "Unknown error %d", code);
    const char* text = strerror_r(code, buffer, size);
    if (!text || !*text || std::strcmp(text, unknown) == 0) return nullptr;
    return text;
}

void AppendToLog(int file, const char* text)
{
    if (file < 0 || !text) return;
    const off_t start = lseek(file, 0, SEEK_END);
    const size_t length = std::strlen(text);
    struct flock range { };
    range.l_type = F_WRLCK;
    range.l_whence = SEEK_SET;
    range.l_start = start;
    range.l_len = static_cast<off_t>(length);
    const bool locked = length > 0 && fcntl(file, F_SETLKW, &range) == 0;
    WriteAllTo(file, text, length);
    // At level 0 (tracing) an entry reaches the kernel at once, readable by
    // any process and kept if we crash, but not synced to disk: that cost
    // a hundredfold the time of a chatty job.
    if (gLogLevel > 0) fdatasync(file);
    if (locked) {
        range.l_type = F_UNLCK;
        fcntl(file, F_SETLK, &range);
    }
}

bool TrimLogFile()
{
    if (!gLogFileName[0]) return false;
    LockedLog log(gLogFileName);
    return log.fd() >= 0 && TrimLocked(log.fd(), gLogFileName);
}

void WriteLogEntry(const char* text)
{
    const int savedErrno = errno;
    const std::string path = gLogFileName;
    char stamp[32];
    Stamp(stamp);
    const std::string entry = std::string(stamp) + text;
    for (int attempt = 0; attempt < 2; ++attempt) {
        LockedLog log(path.c_str());
        if (log.fd() < 0) {
            const std::lock_guard<std::mutex> lock(gPendingMutex);
            if (log.Refused() && gPending.size() + entry.size() <= kMaxPending) gPending += entry;
            break;
        }
        // A trim replaced the file: take the lock on the new one.
        if (attempt == 0 && TrimLocked(log.fd(), path.c_str())) continue;
        std::string pending;
        {
            const std::lock_guard<std::mutex> lock(gPendingMutex);
            pending.swap(gPending);
        }
        AppendToLog(log.fd(), (pending + entry).c_str());
        break;
    }
    errno = savedErrno;
}
