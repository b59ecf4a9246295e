#include "JobIdentity.h"

JobIdentity JobIdentity::Decide(const std::string& claimed, const std::string& authUid,
                                const std::optional<UserAccount>& local, bool localIsLogin, const UserAccount& service,
                                const std::string& serviceHome)
{
    JobIdentity identity;
    if (local && localIsLogin && !authUid.empty() && authUid == std::to_string(local->uid)) {
        identity.account = *local;
        identity.name = local->name;
        identity.home = local->home;
        return identity;
    }
    identity.service = true;
    identity.account = service;
    identity.name = NormalisedName(claimed);
    // A person's name that nobody vouched for is kept apart from theirs.
    if (local && localIsLogin) identity.name = std::string(kUnverifiedPrefix) + identity.name;
    identity.home = serviceHome + (serviceHome.ends_with('/') ? "" : "/") + identity.name;
    return identity;
}

std::string JobIdentity::NormalisedName(const std::string& name)
{
    std::string text = name.substr(name.rfind('\\') == std::string::npos ? 0 : name.rfind('\\') + 1);
    text = text.substr(0, text.find('@'));
    std::string out;
    for (const char c : text) {
        if (out.size() == kMaxName) break;
        const char lower = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
        const bool safe = (lower >= 'a' && lower <= 'z') || (lower >= '0' && lower <= '9') || lower == '_' ||
                          ((lower == '.' || lower == '-') && !out.empty());
        out.push_back(safe ? lower : '_');
    }
    return out.empty() ? "anonymous" : out;
}
