#pragma once
#include <string>
#include <vector>

#include "DesktopSession.h"
#include "UserAccount.h"

// The environment the job processor starts with: nothing of the scheduler's
// beyond what it needs to reach the same scheduler and the same places.
class DravikEnvironment {
public:
    // `given` is the backend's own environment ("NAME=value" entries).
    static std::vector<std::string> Build(const UserAccount& user, const std::vector<std::string>& given,
                                          const DesktopSession& session);
    // The value of NAME in such a list; empty when missing.
    static std::string Value(const std::vector<std::string>& environment, const std::string& name);
    // The user's settings hive as the job processor will find it.
    static std::string HivePath(const std::vector<std::string>& environment);
};
