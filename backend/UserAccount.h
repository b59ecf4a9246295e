#pragma once
#include <cstdint>
#include <string>

// A user of this system, as the account database knows them.
struct UserAccount {
    std::string name;
    uint32_t uid = 0;
    uint32_t gid = 0;
    std::string home;

    // False for a name the account database does not know.
    static bool Find(const std::string& name, UserAccount& account);
};
