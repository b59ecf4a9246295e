#pragma once
#include <functional>
#include <string>
#include <string_view>

#include "UserAccount.h"

// What reaches a user's graphical session, as the login manager tells it.
// Empty members: not known, or no graphical session.
struct DesktopSession {
    std::string runtimeDir;
    std::string display;
    std::string waylandDisplay;
    std::string xauthority;
    std::string busAddress;

    // Asks logind (loginctl); an empty session when it cannot answer.
    static DesktopSession Find(const UserAccount& user);

    // The parts of Find that need no system. `userProperties` and
    // `sessionProperties` are loginctl's "Name=value" lines for the user and
    // for their display session; `exists` tells whether a path exists.
    static DesktopSession FromLogind(const std::string& userProperties, const std::string& sessionProperties,
                                     const UserAccount& user, const std::function<bool(const std::string&)>& exists);
    // The value of "Name=value" among lines; empty when missing.
    static std::string Property(std::string_view lines, std::string_view name);
};
