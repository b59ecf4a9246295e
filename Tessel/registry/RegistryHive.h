#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// One registry root held as a REGEDIT4 text file. The text is kept line by
// line, so that a change of one value rewrites only that value's line and
// every other line, parsed or not, survives byte for byte.
class RegistryHive {
public:
    // Larger hive files are refused rather than read into memory.
    static constexpr size_t kMaxFileSize = 16u << 20;
    // A logical line (continuations included) longer than this is left unparsed.
    static constexpr size_t kMaxLineLength = 1u << 20;
    // Problems logged per parse; a hostile file must not flood the log.
    static constexpr int kMaxLoggedProblems = 8;
    // How long a reader or writer waits for another one holding the file.
    static constexpr int kLockWaitMs = 5000;

    struct Value {
        uint32_t type = 0;
        std::vector<uint8_t> data;
    };

    // fileName only names the file in log lines.
    explicit RegistryHive(std::string fileName = {});
    virtual ~RegistryHive() = default;

    void Parse(std::string_view text);
    // True when a section names the key or a key below it. Paths are full
    // ("HKEY_CURRENT_USER\SOFTWARE\QMVK") and compare without regard to case.
    bool HasKey(std::string_view keyPath) const;
    // The value as the last line that defines it says; name "" is the default value.
    bool GetValue(std::string_view keyPath, std::string_view name, Value& value) const;
    // Replaces the value's line, or adds it to its section (adding the section
    // when missing). False for a name that the format cannot hold.
    bool SetDword(std::string_view keyPath, std::string_view name, uint32_t value);
    // The same for a REG_SZ value; false also for a text with a line break or NUL.
    bool SetString(std::string_view keyPath, std::string_view name, std::string_view text);
    // Takes the key, its values and every key below it out of the text.
    // False when there was no such key.
    bool RemoveKey(std::string_view keyPath);
    // The names of the keys directly below keyPath, each once, in file order.
    std::vector<std::string> SubKeys(std::string_view keyPath) const;
    std::string Serialize() const;
    int ProblemCount() const { return m_iProblems; }

    // File access (platform file). Load reads the hive under a shared lock;
    // false when there is no readable hive. StoreDword and StoreString change
    // one value under the exclusive lock and replace the file atomically.
    bool Load(const char* path);
    static bool StoreDword(const char* path, std::string_view keyPath, std::string_view name, uint32_t value);
    static bool StoreString(const char* path, std::string_view keyPath, std::string_view name, std::string_view text);
    // Several changes at once, under one lock and one replacement of the
    // file, which is created (mode 0600) when missing; `change` returns false
    // to leave the file as it was.
    static bool Store(const char* path, const std::function<bool(RegistryHive&)>& change);

private:
    enum class Kind { Other, Header, Section, Value };
    struct Line {
        Kind kind = Kind::Other;
        std::string raw;     // the physical lines as read, line endings included
        size_t section = 0;  // index of the section line it belongs to, or npos
        std::string key;     // Section: the key path
        std::string name;    // Value: the value name
        Value value;         // Value: type and data
    };

    void Problem(size_t lineNumber, const char* what);
    bool ParseValue(std::string_view text, Line& line, const char*& fault) const;
    size_t FindSection(std::string_view keyPath) const;
    // Replaces the value's line, or adds one; `data` is its text behind the name.
    bool SetValue(std::string_view keyPath, std::string_view name, Value value, const std::string& data);

    std::string m_sFileName;
    std::vector<Line> m_lines;
    std::string m_sEol = "\n";
    int m_iProblems = 0;
};
