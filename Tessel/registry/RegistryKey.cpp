#include "RegistryKey.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>
#include <string_view>

#include "RegistryHive.h"
#include "SysUtils.h"

// A key handle: which hive, the full key path, and whether it may be written.
struct RegistryNode {
    bool user;
    std::string path;
    bool writable;
};

namespace {
// Status codes of Close and Flush, as the registry reports them.
constexpr long kSuccess = 0;
constexpr long kInvalidHandle = 6;

RegistryNode gLocalMachine{false, "HKEY_LOCAL_MACHINE", true};
RegistryNode gCurrentUser{true, "HKEY_CURRENT_USER", true};

bool IsPredefined(HKEY key)
{
    return key == &gLocalMachine || key == &gCurrentUser;
}

// Resolved on every use, so that a changed environment takes effect at once.
std::string HivePath(const RegistryNode& node)
{
    std::string path = GetEnvironmentText(node.user ? "TESSEL_HKCU" : "TESSEL_HKLM");
    if (!path.empty()) return path;
    if (!node.user) return "/etc/tessel/machine.reg";
    if (path = GetEnvironmentText("XDG_CONFIG_HOME"); !path.empty()) return path + "/tessel/user.reg";
    if (path = GetEnvironmentText("HOME"); !path.empty()) return path + "/.config/tessel/user.reg";
    return path;
}

bool LoadHive(const RegistryNode& node, RegistryHive& hive)
{
    return hive.Load(HivePath(node).c_str());
}

// Appends the subkey's parts; empty parts (doubled or outer separators) drop out.
std::string Descend(const std::string& path, std::string_view subkey)
{
    std::string result = path;
    while (!subkey.empty()) {
        const size_t slash = subkey.find('\\');
        const std::string_view part = subkey.substr(0, slash);
        if (!part.empty()) result.append("\\").append(part);
        if (slash == std::string_view::npos) break;
        subkey.remove_prefix(slash + 1);
    }
    return result;
}

void Release(HKEY key)
{
    if (key && !IsPredefined(key)) delete key;
}
}  // namespace

const HKEY HKEY_LOCAL_MACHINE = &gLocalMachine;
const HKEY HKEY_CURRENT_USER = &gCurrentUser;

RegistryKey::RegistryKey() : RegistryKey(HKEY_LOCAL_MACHINE) { }

RegistryKey::RegistryKey(HKEY root) : m_hRoot(root), m_hKey(root) { }

RegistryKey::~RegistryKey()
{
    Close();
}

void RegistryKey::Open(const char* subkey, bool writable, bool create)
{
    if (!subkey || !*subkey) return;
    // A failed open keeps the current key, so nothing leaks and the object
    // can still be released.
    if (!m_hKey) throw std::runtime_error("RegOpenKeyEx() failed");
    const std::string path = Descend(m_hKey->path, subkey);
    if (create) {
        const std::string file = HivePath(*m_hKey);
        const size_t slash = file.rfind('/');
        if (file.empty() || (slash != std::string::npos && slash > 0 &&
                             !CreateFolder(file.substr(0, slash).c_str(), m_hKey->user, true)))
            throw std::runtime_error("RegCreateKeyEx() failed");
    } else {
        RegistryHive hive;
        if (!LoadHive(*m_hKey, hive) || !hive.HasKey(path)) throw std::runtime_error("RegOpenKeyEx() failed");
    }
    const HKEY previous = m_hKey;
    m_hKey = new RegistryNode{previous->user, path, writable};
    if (previous != m_hRoot) Release(previous);
}

void RegistryKey::OpenForRead(const char* subkey)
{
    Open(subkey, false);
}

void RegistryKey::OpenForWrite(const char* subkey)
{
    Open(subkey, true);
}

void RegistryKey::Create(const char* subkey)
{
    Open(subkey, true, true);
}

uint32_t RegistryKey::GetDword(const char* name, uint32_t defaultValue)
{
    RegistryHive hive;
    RegistryHive::Value value;
    if (!m_hKey || !LoadHive(*m_hKey, hive) || !hive.GetValue(m_hKey->path, name ? name : "", value))
        return defaultValue;
    if (value.type != REG_DWORD || value.data.size() != 4) return defaultValue;
    return static_cast<uint32_t>(value.data[0]) | static_cast<uint32_t>(value.data[1]) << 8 |
           static_cast<uint32_t>(value.data[2]) << 16 | static_cast<uint32_t>(value.data[3]) << 24;
}

void RegistryKey::GetString(const char* name, char* buffer, uint32_t size)
{
    if (!buffer || size == 0) return;
    buffer[0] = '\0';
    RegistryHive hive;
    RegistryHive::Value value;
    if (!m_hKey || !LoadHive(*m_hKey, hive) || !hive.GetValue(m_hKey->path, name ? name : "", value)) return;
    if (value.type != REG_SZ && value.type != REG_EXPAND_SZ) return;
    // Data without its terminator still needs room for one; data with an
    // inner terminator counts in full, as the registry would copy it.
    const auto* data = reinterpret_cast<const char*>(value.data.data());
    const size_t text = static_cast<size_t>(std::find(data, data + value.data.size(), '\0') - data);
    const size_t needed = text < value.data.size() ? value.data.size() : text + 1;
    if (needed > size) return;
    std::memcpy(buffer, data, text);
    buffer[text] = '\0';
}

void RegistryKey::SetDword(const char* name, uint32_t value)
{
    if (!m_hKey || !m_hKey->writable ||
        !RegistryHive::StoreDword(HivePath(*m_hKey).c_str(), m_hKey->path, name ? name : "", value))
        throw std::runtime_error("RegSetValueEx() failed");
}

void RegistryKey::SetString(const char* name, const char* text)
{
    if (!m_hKey || !m_hKey->writable || !text ||
        !RegistryHive::StoreString(HivePath(*m_hKey).c_str(), m_hKey->path, name ? name : "", text))
        throw std::runtime_error("RegSetValueEx() failed");
}

long RegistryKey::Flush()
{
    // Every write already reached the disk before SetDword returned.
    return kSuccess;
}

long RegistryKey::Close(HKEY key)
{
    if (!key || key == m_hRoot || IsPredefined(key)) return kSuccess;
    // The only key this object may close is the one it opened.
    if (key != m_hKey) return kInvalidHandle;
    Release(m_hKey);
    m_hKey = m_hRoot;
    return kSuccess;
}

long RegistryKey::Close()
{
    return Close(m_hKey);
}
