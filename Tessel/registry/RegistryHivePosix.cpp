// Hive files on POSIX: flock for the reader/writer locks, and a changed hive
// reaches disk as a new file renamed over the old one, so a reader (or a
// crash) sees either the old or the new hive, never half of one.
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "File.h"
#include "Log.h"
#include "RegistryHive.h"

namespace {
class FileHandle {
public:
    explicit FileHandle(int fd = -1) : m_fd(fd) { }
    ~FileHandle() { Reset(); }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    int fd() const { return m_fd; }
    void Reset(int fd = -1)
    {
        CloseHandle(m_fd);  // also drops the flock
        m_fd = fd;
    }

private:
    int m_fd;
};

// Opens the hive and takes the lock, waiting a bounded time. False with
// errno set (EWOULDBLOCK: timed out).
bool OpenLocked(const char* path, bool exclusive, FileHandle& file)
{
    file.Reset(
        OpenLockedFile(path, exclusive ? O_RDWR | O_CREAT : O_RDONLY, 0600, exclusive, RegistryHive::kLockWaitMs));
    return file.fd() >= 0;
}

bool ReadAll(int fd, const char* path, std::string& text)
{
    struct stat st { };
    if (fstat(fd, &st) != 0) {
        LOG_LAST_ERROR(2);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        LogMessage(2, "Registry file %s is not a regular file, not read.\r\n", path);
        return false;
    }
    const auto tooLarge = [path]() {
        LogMessage(2, "Registry file %s is larger than %zu bytes, not read.\r\n", path, RegistryHive::kMaxFileSize);
        return false;
    };
    if (static_cast<unsigned long long>(st.st_size) > RegistryHive::kMaxFileSize) return tooLarge();
    // The size may change under a writer that ignores the lock: read to the
    // end, but never past the limit.
    text.assign(static_cast<size_t>(st.st_size), '\0');
    size_t got = 0;
    while (true) {
        if (got == text.size()) {
            if (text.size() > RegistryHive::kMaxFileSize) return tooLarge();
            // One byte past the limit is enough to tell that a file is too large.
            text.resize(std::min(text.size() + 4096, RegistryHive::kMaxFileSize + 1));
        }
        const ssize_t n = read(fd, text.data() + got, text.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            LOG_LAST_ERROR(2);
            LogMessage(2, "Registry file %s could not be read.\r\n", path);
            return false;
        }
        if (n == 0) break;
        got += static_cast<size_t>(n);
    }
    text.resize(got);
    return true;
}

// Writes `text` to a new file beside `path` and renames it over `path`.
bool ReplaceFile(const char* path, int oldFd, const std::string& text)
{
    std::string temp = std::string(path) + ".XXXXXX";
    const int fd = mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) return false;
    FileHandle out(fd);
    struct stat st { };
    bool ok = fstat(oldFd, &st) == 0 && fchmod(fd, st.st_mode & 07777) == 0 &&
              WriteAllTo(fd, text.data(), text.size()) && fsync(fd) == 0;
    out.Reset();
    ok = ok && rename(temp.c_str(), path) == 0;
    if (!ok) {
        const int error = errno;
        unlink(temp.c_str());
        errno = error;
        return false;
    }
    // The rename itself lives in the folder.
    std::string folder = path;
    const size_t slash = folder.rfind('/');
    folder = slash == std::string::npos ? "." : slash == 0 ? "/" : folder.substr(0, slash);
    FileHandle dir(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.fd() >= 0) fsync(dir.fd());
    return true;
}
}  // namespace

bool RegistryHive::Load(const char* path)
{
    Parse({});
    if (!path || !*path) return false;
    m_sFileName = path;
    FileHandle file;
    if (!OpenLocked(path, false, file)) {
        if (errno == ENOENT) return false;  // no hive yet: every key is missing
        LOG_LAST_ERROR(2);
        LogMessage(2, "Registry file %s could not be opened for reading.\r\n", path);
        return false;
    }
    std::string text;
    if (!ReadAll(file.fd(), path, text)) return false;
    file.Reset();
    Parse(text);
    return true;
}

bool RegistryHive::Store(const char* hivePath, const std::function<bool(RegistryHive&)>& change)
{
    if (!hivePath || !*hivePath) return false;
    // A hive that is a link (a dotfiles set-up) is changed where it lies; the
    // link stays. Replacing the name itself would turn the link into a file.
    std::string target = hivePath;
    struct stat st { };
    if (lstat(hivePath, &st) == 0 && S_ISLNK(st.st_mode)) {
        char resolved[PATH_MAX];
        if (!realpath(hivePath, resolved)) {
            LOG_LAST_ERROR(2);
            LogMessage(2, "Registry file %s is a link that leads nowhere; not written.\r\n", hivePath);
            return false;
        }
        target = resolved;
    }
    const char* path = target.c_str();
    FileHandle file;
    if (!OpenLocked(path, true, file)) {
        LOG_LAST_ERROR(2);
        LogMessage(2, "Registry file %s could not be opened for writing.\r\n", path);
        return false;
    }
    std::string text;
    if (!ReadAll(file.fd(), path, text)) return false;
    RegistryHive hive(path);
    hive.Parse(text);
    if (!change(hive)) return false;
    // A change that leaves the text as it was (a job resetting a flag that
    // is already clear) is not written again: rewriting costs a wait for the disk.
    const std::string changed = hive.Serialize();
    if (changed == text) return true;
    if (!ReplaceFile(path, file.fd(), changed)) {
        LOG_LAST_ERROR(2);
        LogMessage(2, "Registry file %s could not be written.\r\n", path);
        return false;
    }
    return true;
}

bool RegistryHive::StoreDword(const char* path, std::string_view keyPath, std::string_view name, uint32_t value)
{
    return Store(path, [&](RegistryHive& hive) { return hive.SetDword(keyPath, name, value); });
}

bool RegistryHive::StoreString(const char* path, std::string_view keyPath, std::string_view name, std::string_view text)
{
    return Store(path, [&](RegistryHive& hive) { return hive.SetString(keyPath, name, text); });
}
