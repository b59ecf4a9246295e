#include "DravikEnvironment.h"

namespace {
constexpr const char* kDefaultPath = "/usr/local/bin:/usr/bin:/bin";

bool StartsWith(const std::string& text, const std::string& prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}
}  // namespace

std::string DravikEnvironment::Value(const std::vector<std::string>& environment, const std::string& name)
{
    const std::string prefix = name + "=";
    for (const std::string& entry : environment)
        if (StartsWith(entry, prefix)) return entry.substr(prefix.size());
    return {};
}

std::vector<std::string> DravikEnvironment::Build(const UserAccount& user, const std::vector<std::string>& given,
                                                  const DesktopSession& session)
{
    std::vector<std::string> env;
    const auto add = [&env](const std::string& name, const std::string& value) {
        if (!value.empty()) env.push_back(name + "=" + value);
    };
    add("HOME", user.home);
    add("USER", user.name);
    add("LOGNAME", user.name);
    const std::string path = Value(given, "PATH");
    add("PATH", path.empty() ? kDefaultPath : path);
    // The message texts follow the job's language.
    add("LANG", Value(given, "LANG"));
    add("XDG_RUNTIME_DIR", session.runtimeDir);
    add("CUPS_SERVER", Value(given, "CUPS_SERVER"));
    for (const std::string& entry : given)
        if (StartsWith(entry, "TESSEL_") && entry.find('=') != std::string::npos) env.push_back(entry);
    add("DISPLAY", session.display);
    add("WAYLAND_DISPLAY", session.waylandDisplay);
    add("XAUTHORITY", session.xauthority);
    add("DBUS_SESSION_BUS_ADDRESS", session.busAddress);
    return env;
}

std::string DravikEnvironment::HivePath(const std::vector<std::string>& environment)
{
    const std::string hive = Value(environment, "TESSEL_HKCU");
    if (!hive.empty()) return hive;
    const std::string home = Value(environment, "HOME");
    return home.empty() ? std::string() : home + "/.config/tessel/user.reg";
}
