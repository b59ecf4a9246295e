#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <vector>

#include "Log.h"
#include "PpdFile.h"

bool PpdFile::Load(const std::string& path)
{
    *this = PpdFile();
    // Not blocking: a pipe of that name (refused below as no regular file)
    // must not hold the caller until something writes to it.
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    struct stat st;
    std::vector<char> text;
    bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    if (ok && static_cast<uint64_t>(st.st_size) > kMaxFileSize) {
        LogMessage(2, "PPD %s of %lld bytes is too large.\r\n", path.c_str(), static_cast<long long>(st.st_size));
        ok = false;
    }
    if (ok) {
        text.resize(static_cast<size_t>(st.st_size));
        size_t done = 0;
        while (done < text.size()) {
            const ssize_t n = read(fd, text.data() + done, text.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            done += static_cast<size_t>(n);
        }
        text.resize(done);
    }
    if (!ok) LOG_LAST_ERROR(2);
    close(fd);
    return ok && Parse(text.data(), text.size());
}
