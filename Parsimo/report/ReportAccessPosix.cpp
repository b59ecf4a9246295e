#include <grp.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

#include "ReportAccess.h"

namespace {
constexpr const char* kAdministrators = "lpadmin";
}  // namespace

bool ReadsEveryonesUsage()
{
    if (geteuid() == 0) return true;
    const group* administrators = getgrnam(kAdministrators);
    if (administrators == nullptr) return false;
    if (getegid() == administrators->gr_gid) return true;
    const int count = getgroups(0, nullptr);
    if (count <= 0) return false;
    std::vector<gid_t> groups(static_cast<size_t>(count));
    const int got = getgroups(count, groups.data());
    return got > 0 && std::find(groups.begin(), groups.begin() + got, administrators->gr_gid) != groups.begin() + got;
}
