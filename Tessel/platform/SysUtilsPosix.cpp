// The system side of SysUtils on POSIX: stat and mkdir for folders, sysinfo
// and /proc for the memory figures.
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysinfo.h>
#include <unistd.h>

#include "SysUtils.h"

namespace {
// /proc status texts are a few kilobytes; more than this is not one.
constexpr size_t kMaxProcText = 64 * 1024;

std::string ReadProcText(const char* path)
{
    std::string text;
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return text;
    char chunk[4096];
    while (text.size() < kMaxProcText) {
        const ssize_t n = read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        text.append(chunk, static_cast<size_t>(n));
    }
    close(fd);
    if (text.size() > kMaxProcText) text.resize(kMaxProcText);
    return text;
}

uint64_t Scaled(unsigned long count, unsigned int unit)
{
    return static_cast<uint64_t>(count) * (unit ? unit : 1);
}
}  // namespace

bool FileExists(const char* path, bool mustBeDirectory)
{
    struct stat st { };
    if (!path || stat(path, &st) != 0) return false;
    return !mustBeDirectory || S_ISDIR(st.st_mode);
}

bool CreateFolder(const char* path, bool perUser, bool parents)
{
    struct stat st { };
    if (stat(path, &st) == 0) {
        if (S_ISDIR(st.st_mode)) return true;
        errno = ENOTDIR;
        return false;
    }
    if (errno != ENOENT) return false;
    if (parents) {
        std::string parent = path;
        while (parent.size() > 1 && parent.back() == '/') parent.pop_back();
        const size_t slash = parent.rfind('/');
        if (slash != std::string::npos && slash > 0) {
            parent.resize(slash);
            if (!CreateFolder(parent.c_str(), perUser, true)) return false;
        }
    }
    if (mkdir(path, perUser ? 0700 : 0755) == 0) {
        // The product's all-users folders are written only by their maker
        // (root for the installation's) and read by everyone, whatever the umask.
        if (!perUser && !parents) chmod(path, 0755);
        return true;
    }
    // Another process may have made it in the meantime.
    const int error = errno;
    if (error == EEXIST && stat(path, &st) == 0 && S_ISDIR(st.st_mode)) return true;
    errno = error == EEXIST ? ENOTDIR : error;
    return false;
}

bool GetMemoryStatus(MemoryStatus& status)
{
    status = MemoryStatus();
    struct sysinfo info { };
    if (sysinfo(&info) != 0) return false;
    status.totalPhys = Scaled(info.totalram, info.mem_unit);
    status.availPhys = Scaled(info.freeram, info.mem_unit) + Scaled(info.bufferram, info.mem_unit);
    // MemAvailable also counts the page cache that can be given back.
    uint64_t kilobytes = 0;
    if (FindKilobytes(ReadProcText("/proc/meminfo"), "MemAvailable", kilobytes) && kilobytes <= status.totalPhys / 1024)
        status.availPhys = kilobytes * 1024;
    if (status.availPhys > status.totalPhys) status.availPhys = status.totalPhys;
    if (status.totalPhys > 0)
        status.memoryLoad = static_cast<uint32_t>((status.totalPhys - status.availPhys) * 100 / status.totalPhys);
    status.totalPageFile = status.totalPhys + Scaled(info.totalswap, info.mem_unit);
    status.availPageFile = status.availPhys + Scaled(info.freeswap, info.mem_unit);

    // The address space: the process's limit, else what the pointer width gives.
    struct rlimit limit { };
    status.totalVirtual = sizeof(void*) >= 8 ? uint64_t{1} << 47 : uint64_t{3} << 30;
    if (getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
        static_cast<uint64_t>(limit.rlim_cur) < status.totalVirtual)
        status.totalVirtual = static_cast<uint64_t>(limit.rlim_cur);
    status.availVirtual = status.totalVirtual;
    if (FindKilobytes(ReadProcText("/proc/self/status"), "VmSize", kilobytes) &&
        kilobytes <= status.totalVirtual / 1024)
        status.availVirtual = status.totalVirtual - kilobytes * 1024;
    return true;
}

void* AllocateZeroed(size_t bytes)
{
    constexpr size_t kHugePage = size_t{2} << 20;
    if (bytes < kHugePage) return std::calloc(1, bytes == 0 ? 1 : bytes);
    if (bytes > SIZE_MAX - kHugePage) return nullptr;
    const size_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
    void* block = std::aligned_alloc(kHugePage, rounded);
    if (block == nullptr) return nullptr;
    // Only advice: where it is refused the block is as good, in small pages.
    madvise(block, rounded, MADV_HUGEPAGE);
    std::memset(block, 0, bytes);
    return block;
}
