#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

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
        struct stat st {};
        // Only plain files take part; never follow a link planted in the folder.
        if (fstatat(dirfd(dir.get()), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode))
            continue;
        names.emplace_back(entry->d_name);
    }
    return names;
}
