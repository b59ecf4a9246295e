#include "DesktopSession.h"

#include "CommandLine.h"
#include "Process.h"
#include "SysUtils.h"

namespace {
// loginctl answers in a few hundred bytes.
constexpr size_t kAnswerLimit = 16384;

std::string Ask(std::initializer_list<std::string_view> arguments)
{
    std::string output;
    int status = 0;
    if (!Process::RunForOutput(CommandLine::Join(arguments).c_str(), output, &status, kAnswerLimit) || status != 0)
        return {};
    return output;
}

// A session id or path element from logind: letters, digits, and a few marks.
bool IsPlainWord(const std::string& text)
{
    if (text.empty() || text.size() > 64) return false;
    for (char c : text)
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
              c == '.' || c == ':'))
            return false;
    return true;
}
}  // namespace

std::string DesktopSession::Property(std::string_view lines, std::string_view name)
{
    size_t start = 0;
    while (start < lines.size()) {
        const size_t end = std::min(lines.find('\n', start), lines.size());
        const std::string_view line = lines.substr(start, end - start);
        if (line.size() > name.size() && line.substr(0, name.size()) == name && line[name.size()] == '=')
            return std::string(line.substr(name.size() + 1));
        start = end + 1;
    }
    return {};
}

DesktopSession DesktopSession::FromLogind(const std::string& userProperties, const std::string& sessionProperties,
                                          const UserAccount& user,
                                          const std::function<bool(const std::string&)>& exists)
{
    DesktopSession session;
    std::string runtime = Property(userProperties, "RuntimePath");
    if (runtime.empty() || runtime.front() != '/') runtime = "/run/user/" + std::to_string(user.uid);
    if (!exists(runtime)) return session;
    session.runtimeDir = runtime;
    if (exists(runtime + "/bus")) session.busAddress = "unix:path=" + runtime + "/bus";

    // Only a live local session of the desktop kinds is one to show windows in.
    const std::string type = Property(sessionProperties, "Type");
    const std::string state = Property(sessionProperties, "State");
    if ((type != "x11" && type != "wayland") || Property(sessionProperties, "Remote") == "yes" ||
        (state != "active" && state != "online"))
        return session;
    if (type == "wayland" && exists(runtime + "/wayland-0")) session.waylandDisplay = "wayland-0";
    const std::string display = Property(sessionProperties, "Display");
    if (IsPlainWord(display) && display.front() == ':') session.display = display;
    if (!session.display.empty()) {
        for (const std::string& candidate : {runtime + "/gdm/Xauthority", user.home + "/.Xauthority"})
            if (exists(candidate)) {
                session.xauthority = candidate;
                break;
            }
    }
    return session;
}

DesktopSession DesktopSession::Find(const UserAccount& user)
{
    const std::string uid = std::to_string(user.uid);
    const std::string userProperties = Ask({"loginctl", "show-user", uid, "-p", "RuntimePath", "-p", "Display"});
    const std::string id = Property(userProperties, "Display");
    std::string sessionProperties;
    if (IsPlainWord(id))
        sessionProperties =
            Ask({"loginctl", "show-session", id, "-p", "Type", "-p", "Display", "-p", "Remote", "-p", "State"});
    return FromLogind(userProperties, sessionProperties, user,
                      [](const std::string& path) { return FileExists(path.c_str(), false); });
}
