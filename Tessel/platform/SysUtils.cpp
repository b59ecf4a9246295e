#include "SysUtils.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <string>

#include "Log.h"

std::string GetEnvironmentText(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

namespace {

std::string FirstSet(std::initializer_list<const char*> names)
{
    for (const char* name : names)
        if (std::string value = GetEnvironmentText(name); !value.empty()) return value;
    return {};
}

enum class Create { PerUser, AllUsers, Nothing };

// A special folder without its final separator, created when missing (unless Nothing).
TextBuffer SpecialFolder(std::string path, Create create)
{
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    bool ok = true;
    if (path.empty()) {
        errno = ENOENT;
        ok = false;
    } else if (path.size() > static_cast<size_t>(kMaxPath)) {
        errno = ENAMETOOLONG;
        ok = false;
    } else if (create != Create::Nothing) {
        ok = CreateFolder(path.c_str(), create == Create::PerUser, true);
    }
    if (ok) return TextBuffer(path.c_str());
    LOG_LAST_ERROR(2);
    LogMessage(2, "SHGetFolderPath() failed!\r\n");
    return {};
}

bool IsFolderName(const char* name)
{
    return name && *name && !std::strchr(name, '/') && std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0;
}

// <base>/<group>/<app>/; the application level is tried only when the group
// level is a folder. No log line: the caller reports.
TextBuffer ProductFolder(const TextBuffer& base, const char* group, const char* app, Create create)
{
    const bool perUser = create == Create::PerUser;
    if (!base.GetText() || !IsFolderName(group) || !IsFolderName(app)) return {};
    std::string path = base.GetText();
    if (!path.empty() && path.back() != '/') path += '/';
    path.append(group).append("/");
    const size_t full = path.size() + std::strlen(app) + 1;
    if (full > static_cast<size_t>(kMaxPath)) return {};
    if (create != Create::Nothing && !CreateFolder(path.c_str(), perUser, false)) return {};
    path.append(app).append("/");
    if (create != Create::Nothing && !CreateFolder(path.c_str(), perUser, false)) return {};
    return TextBuffer(path.c_str());
}

TextBuffer AppDataFolder(Create create)
{
    std::string path = FirstSet({"TESSEL_APPDATA", "XDG_DATA_HOME"});
    if (path.empty()) {
        if (std::string home = GetEnvironmentText("HOME"); !home.empty()) path = home + "/.local/share";
    }
    return SpecialFolder(path, create);
}

TextBuffer CommonFolder(const char* variable, Create create)
{
    std::string path = GetEnvironmentText(variable);
    return SpecialFolder(path.empty() ? "/var/lib" : path, create);
}
}  // namespace

int32_t GetOSVersion()
{
    return 0;
}

TextBuffer GetAppDataFolder()
{
    return AppDataFolder(Create::PerUser);
}

TextBuffer GetCommonAppDataFolder()
{
    return CommonFolder("TESSEL_COMMON_APPDATA", Create::AllUsers);
}

TextBuffer GetCommonDocumentsFolder()
{
    return CommonFolder("TESSEL_COMMON_DOCUMENTS", Create::AllUsers);
}

TextBuffer MakeAppDataDir(const char* group, const char* app)
{
    return ProductFolder(GetAppDataFolder(), group, app, Create::PerUser);
}

TextBuffer MakeCommonAppDataDir(const char* group, const char* app)
{
    return ProductFolder(GetCommonAppDataFolder(), group, app, Create::AllUsers);
}

TextBuffer MakeCommonDocumentsDir(const char* group, const char* app)
{
    return ProductFolder(GetCommonDocumentsFolder(), group, app, Create::AllUsers);
}

TextBuffer AppDataDirPath(const char* group, const char* app)
{
    return ProductFolder(AppDataFolder(Create::Nothing), group, app, Create::Nothing);
}

TextBuffer CommonAppDataDirPath(const char* group, const char* app)
{
    return ProductFolder(CommonFolder("TESSEL_COMMON_APPDATA", Create::Nothing), group, app, Create::Nothing);
}

TextBuffer CommonDocumentsDirPath(const char* group, const char* app)
{
    return ProductFolder(CommonFolder("TESSEL_COMMON_DOCUMENTS", Create::Nothing), group, app, Create::Nothing);
}

int32_t PrimaryLanguageOfLocale(const char* locale)
{
    if (!locale) return 0;
    const size_t length = std::strcspn(locale, "_.@");
    if (length < 2 || length > 3) return 0;
    char code[4] = {};
    for (size_t i = 0; i < length; ++i) {
        const char c = locale[i];
        code[i] = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    static const struct {
        const char* code;
        int32_t id;
    } kLanguages[] = {{"de", 0x07}, {"en", 0x09}, {"es", 0x0A}, {"fr", 0x0C}, {"it", 0x10}, {"pt", 0x16}};
    for (const auto& language : kLanguages)
        if (std::strcmp(code, language.code) == 0) return language.id;
    return 0;
}

int32_t GetUserPrimaryLanguage()
{
    return PrimaryLanguageOfLocale(FirstSet({"LC_ALL", "LC_MESSAGES", "LANG"}).c_str());
}

bool FindKilobytes(std::string_view text, std::string_view key, uint64_t& kilobytes)
{
    while (!text.empty()) {
        const size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (line.size() <= key.size() || line.substr(0, key.size()) != key || line[key.size()] != ':') continue;
        line.remove_prefix(key.size() + 1);
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
        uint64_t figure = 0;
        size_t digits = 0;
        constexpr uint64_t kLimit = std::numeric_limits<uint64_t>::max() / 1024;
        for (; digits < line.size() && line[digits] >= '0' && line[digits] <= '9'; ++digits) {
            figure = figure * 10 + static_cast<uint64_t>(line[digits] - '0');
            if (figure > kLimit) return false;
        }
        line.remove_prefix(digits);
        if (digits == 0 || !(line.empty() || line == " kB" || line == " kB\r")) return false;
        kilobytes = figure;
        return true;
    }
    return false;
}
