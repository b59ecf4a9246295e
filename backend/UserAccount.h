#pragma once
#include <cstdint>
#include <string>

// A user of this system, as the account database knows them.
struct UserAccount {
    std::string name;
    uint32_t uid = 0;
    uint32_t gid = 0;
    std::string home;
    std::string shell;

    // False for a name the account database does not know.
    static bool Find(const std::string& name, UserAccount& account);
    // A person's account: a uid in the login range of /etc/login.defs (1000
    // to 60000 by default) and a shell that lets them log in. Root, system
    // accounts and nobody are not.
    bool IsLoginAccount() const;
    // Makes this process this user's (groups, group, user, each checked, and
    // no way back to root); false with errno when any step failed.
    bool Become() const;
};
