// Account lookup through the name service, so that network accounts work too.
#include <cerrno>
#include <fstream>
#include <grp.h>
#include <pwd.h>
#include <sstream>
#include <unistd.h>
#include <vector>

#include "UserAccount.h"

namespace {
constexpr uint32_t kDefaultUidMin = 1000;
constexpr uint32_t kDefaultUidMax = 60000;

// The login range of /etc/login.defs ("UID_MIN 1000", "UID_MAX 60000").
void LoginRange(uint32_t& low, uint32_t& high)
{
    low = kDefaultUidMin;
    high = kDefaultUidMax;
    std::ifstream defs("/etc/login.defs");
    std::string line;
    while (std::getline(defs, line)) {
        std::istringstream words(line);
        std::string key;
        unsigned long value = 0;
        if (!(words >> key >> value) || value == 0 || value >= 0xFFFFFFFFul) continue;
        if (key == "UID_MIN") low = static_cast<uint32_t>(value);
        if (key == "UID_MAX") high = static_cast<uint32_t>(value);
    }
}

bool EndsWith(const std::string& text, const std::string& end)
{
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}
}  // namespace

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
    account.shell = found->pw_shell ? found->pw_shell : "";
    return true;
}

bool UserAccount::IsLoginAccount() const
{
    uint32_t low = 0, high = 0;
    LoginRange(low, high);
    // An empty shell is /bin/sh to login(1).
    const bool canLogIn = !EndsWith(shell, "/nologin") && !EndsWith(shell, "/false");
    return uid >= low && uid <= high && uid != 65534 && canLogIn && !home.empty();
}

bool UserAccount::Become() const
{
    if (initgroups(name.c_str(), gid) != 0 || setgid(gid) != 0 || setuid(uid) != 0) return false;
    if (getuid() != uid || geteuid() != uid || getgid() != gid || getegid() != gid) {
        errno = EPERM;
        return false;
    }
    // The way back must be closed.
    if (uid != 0 && setuid(0) == 0) {
        errno = EPERM;
        return false;
    }
    return true;
}
