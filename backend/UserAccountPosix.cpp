// Account lookup through the name service, so that network accounts work too.
#include <cerrno>
#include <pwd.h>
#include <unistd.h>
#include <vector>

#include "UserAccount.h"

bool UserAccount::Find(const std::string& name, UserAccount& account)
{
    if (name.empty()) return false;
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    if (size <= 0) size = 16384;
    std::vector<char> buffer(static_cast<size_t>(size));
    struct passwd entry { };
    struct passwd* found = nullptr;
    while (getpwnam_r(name.c_str(), &entry, buffer.data(), buffer.size(), &found) == ERANGE &&
           buffer.size() < (1u << 20))
        buffer.resize(buffer.size() * 2);
    if (!found) return false;
    account.name = found->pw_name;
    account.uid = found->pw_uid;
    account.gid = found->pw_gid;
    account.home = found->pw_dir ? found->pw_dir : "";
    return true;
}
