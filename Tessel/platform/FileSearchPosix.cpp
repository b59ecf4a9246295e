#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>

#include "FileSearch.h"

std::vector<std::string> FindFiles(const char* folder, const char* mask)
{
    std::vector<std::string> names;
    if (!folder || !mask) return names;
    const char* path = *folder ? folder : ".";
    std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(path), closedir);
    if (!dir) return names;
    while (const dirent* entry = readdir(dir.get())) {
        if (!MatchesMask(entry->d_name, mask)) continue;
        struct stat st { };
        // Only our own plain files take part: never follow a link planted in
        // the folder, nor take another user's file for one of ours.
        if (fstatat(dirfd(dir.get()), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode) ||
            st.st_uid != geteuid())
            continue;
        names.emplace_back(entry->d_name);
    }
    return names;
}

unsigned long long FolderState(const char* folder)
{
    std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(folder && *folder ? folder : "."), closedir);
    if (!dir) return 0;
    unsigned long long state = 1;
    while (const dirent* entry = readdir(dir.get())) {
        struct stat st { };
        if (fstatat(dirfd(dir.get()), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode)) continue;
        // Mixed so that changes of several files do not cancel out.
        const unsigned long long item = static_cast<unsigned long long>(st.st_ino) * 0x9E3779B97F4A7C15ull ^
                                        static_cast<unsigned long long>(st.st_size) * 0xC2B2AE3D27D4EB4Full ^
                                        static_cast<unsigned long long>(st.st_mtim.tv_nsec) ^
                                        static_cast<unsigned long long>(st.st_mtim.tv_sec) << 30;
        state += item * 0x165667B19E3779F9ull + (item >> 29);
    }
    return state;
}
