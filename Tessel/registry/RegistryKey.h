#pragma once
#include <cstdint>

// The registry stands in as one REGEDIT4 text hive file per root:
// HKEY_CURRENT_USER in ${TESSEL_HKCU:-${XDG_CONFIG_HOME:-$HOME/.config}/tessel/user.reg},
// HKEY_LOCAL_MACHINE in ${TESSEL_HKLM:-/etc/tessel/machine.reg}.
struct RegistryNode;
using HKEY = RegistryNode*;

// The predefined roots; never closed.
extern const HKEY HKEY_LOCAL_MACHINE;
extern const HKEY HKEY_CURRENT_USER;

constexpr uint32_t REG_SZ = 1;
constexpr uint32_t REG_EXPAND_SZ = 2;
constexpr uint32_t REG_BINARY = 3;
constexpr uint32_t REG_DWORD = 4;

// One root key and one open subkey. Opening and writing raise
// std::runtime_error; reading falls back to a default.
class RegistryKey {
public:
    RegistryKey();
    explicit RegistryKey(HKEY root);
    virtual ~RegistryKey();
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    void OpenForRead(const char* subkey);   // raises "RegOpenKeyEx() failed"
    void OpenForWrite(const char* subkey);  // raises "RegOpenKeyEx() failed"
    // Opens with full access, the key being made when missing: it comes into
    // the hive with its first value. Raises "RegCreateKeyEx() failed" when the
    // hive's folder cannot be made.
    void Create(const char* subkey);
    uint32_t GetDword(const char* name, uint32_t defaultValue);
    void GetString(const char* name, char* buffer, uint32_t size);
    void SetDword(const char* name, uint32_t value);  // raises "RegSetValueEx() failed"
    // REG_SZ; raises "RegSetValueEx() failed", also for a text with a line break.
    void SetString(const char* name, const char* text);
    long Flush();
    long Close(HKEY key);
    long Close();

private:
    void Open(const char* subkey, bool writable, bool create = false);

    HKEY m_hRoot;
    HKEY m_hKey;
};
