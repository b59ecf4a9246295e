#include "RegistryHive.h"

#include <cstdio>
#include <utility>

#include "Log.h"
#include "RegistryKey.h"

namespace {
constexpr size_t npos = std::string::npos;
constexpr std::string_view kHeader = "REGEDIT4";

char Lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameText(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i])) return false;
    return true;
}

bool StartsWithText(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() && SameText(text.substr(0, prefix.size()), prefix);
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

std::string_view TrimLeft(std::string_view s)
{
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    return s;
}

std::string_view TrimRight(std::string_view s)
{
    while (!s.empty() && (IsBlank(s.back()) || s.back() == '\r' || s.back() == '\n')) s.remove_suffix(1);
    return s;
}

// Key paths compare without a trailing separator.
std::string_view KeyOf(std::string_view path)
{
    while (!path.empty() && path.back() == '\\') path.remove_suffix(1);
    return path;
}

bool SameKey(std::string_view a, std::string_view b)
{
    return SameText(KeyOf(a), KeyOf(b));
}

bool IsKeyOrBelow(std::string_view section, std::string_view key)
{
    section = KeyOf(section);
    key = KeyOf(key);
    if (!StartsWithText(section, key)) return false;
    return section.size() == key.size() || key.empty() || section[key.size()] == '\\';
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    c = Lower(c);
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// 1 to maxDigits hex digits and nothing else.
bool ParseHexNumber(std::string_view s, size_t maxDigits, uint32_t& number)
{
    if (s.empty() || s.size() > maxDigits) return false;
    number = 0;
    for (char c : s) {
        const int d = HexDigit(c);
        if (d < 0) return false;
        number = (number << 4) | static_cast<uint32_t>(d);
    }
    return true;
}

// Comma-separated bytes of one or two hex digits; a final comma is allowed.
bool ParseHexBytes(std::string_view s, std::vector<uint8_t>& bytes)
{
    s = TrimRight(TrimLeft(s));
    while (!s.empty()) {
        const size_t comma = s.find(',');
        const std::string_view token = TrimRight(TrimLeft(s.substr(0, comma)));
        uint32_t byte = 0;
        if (!ParseHexNumber(token, 2, byte)) return false;
        bytes.push_back(static_cast<uint8_t>(byte));
        if (comma == npos) break;
        s = TrimLeft(s.substr(comma + 1));
    }
    return true;
}

// A quoted text with the escapes \\ and \"; `s` starts at the opening quote.
// On success `s` is left behind the closing quote.
bool ParseQuoted(std::string_view& s, std::string& text)
{
    if (s.empty() || s.front() != '"') return false;
    for (size_t i = 1; i < s.size(); ++i) {
        const char c = s[i];
        if (c == '"') {
            s.remove_prefix(i + 1);
            return true;
        }
        if (c == '\\') {
            if (i + 1 >= s.size() || (s[i + 1] != '\\' && s[i + 1] != '"')) return false;
            text.push_back(s[++i]);
        } else {
            text.push_back(c);
        }
    }
    return false;
}

// Splits `"Name"=data` or `@=data`; `rest` receives the data.
bool SplitName(std::string_view s, std::string& name, std::string_view& rest)
{
    if (!s.empty() && s.front() == '@') {
        s.remove_prefix(1);
    } else if (!ParseQuoted(s, name)) {
        return false;
    }
    if (s.empty() || s.front() != '=') return false;
    rest = s.substr(1);
    return true;
}

std::string Quote(std::string_view text)
{
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"') quoted.push_back('\\');
        quoted.push_back(c);
    }
    quoted.push_back('"');
    return quoted;
}

std::string QuoteName(std::string_view name)
{
    return name.empty() ? "@" : Quote(name);
}
}  // namespace

RegistryHive::RegistryHive(std::string fileName) : m_sFileName(std::move(fileName)) { }

void RegistryHive::Problem(size_t lineNumber, const char* what)
{
    ++m_iProblems;
    if (m_iProblems <= kMaxLoggedProblems)
        LogMessage(2, "Registry file %s, line %zu: %s\r\n", m_sFileName.c_str(), lineNumber, what);
    else if (m_iProblems == kMaxLoggedProblems + 1)
        LogMessage(2, "Registry file %s: further problems not logged.\r\n", m_sFileName.c_str());
}

bool RegistryHive::ParseValue(std::string_view text, Line& line, const char*& fault) const
{
    std::string_view data;
    if (!SplitName(text, line.name, data)) {
        fault = "malformed value name, line ignored";
        return false;
    }
    fault = "malformed value data, line ignored";
    data = TrimRight(data);
    Value& value = line.value;
    if (!data.empty() && data.front() == '"') {
        std::string s;
        if (!ParseQuoted(data, s) || !data.empty()) return false;
        value.type = REG_SZ;
        value.data.assign(s.begin(), s.end());
        value.data.push_back(0);
        return true;
    }
    if (StartsWithText(data, "dword:")) {
        uint32_t number = 0;
        if (!ParseHexNumber(data.substr(6), 8, number)) return false;
        value.type = REG_DWORD;
        value.data = {static_cast<uint8_t>(number), static_cast<uint8_t>(number >> 8),
                      static_cast<uint8_t>(number >> 16), static_cast<uint8_t>(number >> 24)};
        return true;
    }
    if (StartsWithText(data, "hex:")) {
        value.type = REG_BINARY;
        return ParseHexBytes(data.substr(4), value.data);
    }
    if (StartsWithText(data, "hex(")) {
        const size_t close = data.find("):");
        if (close == npos || !ParseHexNumber(data.substr(4, close - 4), 8, value.type)) return false;
        return ParseHexBytes(data.substr(close + 2), value.data);
    }
    return false;
}

void RegistryHive::Parse(std::string_view text)
{
    m_lines.clear();
    m_iProblems = 0;
    const size_t firstBreak = text.find('\n');
    m_sEol = (firstBreak != npos && firstBreak > 0 && text[firstBreak - 1] == '\r') ? "\r\n" : "\n";

    size_t pos = 0, lineNumber = 0, section = npos;
    // Cuts the next physical line, its line ending included.
    auto nextPhysical = [&]() {
        const size_t end = text.find('\n', pos);
        const size_t stop = end == npos ? text.size() : end + 1;
        const std::string_view physical = text.substr(pos, stop - pos);
        pos = stop;
        ++lineNumber;
        return physical;
    };

    while (pos < text.size()) {
        const size_t first = lineNumber + 1;
        std::string_view physical = nextPhysical();
        Line line;
        line.raw.assign(physical);
        std::string_view content = TrimLeft(TrimRight(physical));

        if (first == 1) {
            if (content == kHeader) {
                line.kind = Kind::Header;
                m_lines.push_back(std::move(line));
                continue;
            }
            Problem(first, "no REGEDIT4 header, reading on");
        }
        if (content.find('\0') != npos) {
            Problem(first, "NUL byte, line ignored");
        } else if (content.size() > kMaxLineLength) {
            Problem(first, "line too long, ignored");
        } else if (!content.empty() && content.front() == '[') {
            const std::string_view key = content.size() > 2 && content.back() == ']'
                                             ? KeyOf(content.substr(1, content.size() - 2))
                                             : std::string_view();
            if (key.empty()) {
                Problem(first, "malformed key line, its values ignored");
                line.kind = Kind::Other;
                section = npos;
            } else {
                line.kind = Kind::Section;
                line.key.assign(key);
                section = m_lines.size();
            }
        } else if (!content.empty() && (content.front() == '"' || content.front() == '@')) {
            // Hex data may go on over lines that end in a backslash.
            std::string joined;
            std::string_view logical = content;
            std::string dataName;
            std::string_view data;
            const bool isHex = SplitName(content, dataName, data) && StartsWithText(data, "hex");
            bool cut = false, tooLong = false;
            while (isHex && !logical.empty() && logical.back() == '\\') {
                if (pos >= text.size()) {
                    cut = true;
                    break;
                }
                if (joined.empty()) joined.assign(logical);
                joined.pop_back();
                physical = nextPhysical();
                line.raw.append(physical);
                if (joined.size() + physical.size() > kMaxLineLength) {
                    tooLong = true;
                    continue;  // keep absorbing the continuation, unparsed
                }
                joined.append(TrimLeft(TrimRight(physical)));
                logical = joined;
            }
            const char* fault = nullptr;
            if (cut)
                Problem(first, "hex data cut short at the end of the file, value ignored");
            else if (tooLong)
                Problem(first, "line too long, ignored");
            else if (logical.find('\0') != npos)
                Problem(first, "NUL byte, line ignored");
            else if (section == npos)
                Problem(first, "value outside any key, ignored");
            else if (ParseValue(logical, line, fault))
                line.kind = Kind::Value;
            else
                Problem(first, fault);
        } else if (!content.empty() && content.front() != ';') {
            Problem(first, "unrecognised line, ignored");
        }
        line.section = line.kind == Kind::Value ? section : npos;
        if (line.kind != Kind::Value) line.value = Value();
        m_lines.push_back(std::move(line));
    }
}

size_t RegistryHive::FindSection(std::string_view keyPath) const
{
    size_t found = npos;
    for (size_t i = 0; i < m_lines.size(); ++i)
        if (m_lines[i].kind == Kind::Section && SameKey(m_lines[i].key, keyPath)) found = i;
    return found;
}

bool RegistryHive::HasKey(std::string_view keyPath) const
{
    for (const Line& line : m_lines)
        if (line.kind == Kind::Section && IsKeyOrBelow(line.key, keyPath)) return true;
    return false;
}

bool RegistryHive::GetValue(std::string_view keyPath, std::string_view name, Value& value) const
{
    const Line* found = nullptr;
    for (const Line& line : m_lines)
        if (line.kind == Kind::Value && SameText(line.name, name) && SameKey(m_lines[line.section].key, keyPath))
            found = &line;
    if (!found) return false;
    value = found->value;
    return true;
}

bool RegistryHive::SetDword(std::string_view keyPath, std::string_view name, uint32_t value)
{
    char data[24];
    std::snprintf(data, sizeof data, "=dword:%08x", static_cast<unsigned>(value));
    Value dword;
    dword.type = REG_DWORD;
    dword.data = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value >> 16),
                  static_cast<uint8_t>(value >> 24)};
    return SetValue(keyPath, name, std::move(dword), data);
}

bool RegistryHive::SetString(std::string_view keyPath, std::string_view name, std::string_view text)
{
    // A quoted text has no escape for these; it must stay on its one line.
    if (text.find_first_of(std::string_view("\0\r\n", 3)) != npos) return false;
    Value sz;
    sz.type = REG_SZ;
    sz.data.assign(text.begin(), text.end());
    sz.data.push_back(0);
    return SetValue(keyPath, name, std::move(sz), "=" + Quote(text));
}

bool RegistryHive::SetValue(std::string_view keyPath, std::string_view name, Value value, const std::string& data)
{
    if (KeyOf(keyPath).empty() || name.find_first_of(std::string_view("\0\r\n", 3)) != npos) return false;
    Line line;
    line.kind = Kind::Value;
    line.raw = QuoteName(name) + data + m_sEol;
    line.name.assign(name);
    line.value = std::move(value);

    for (size_t i = m_lines.size(); i-- > 0;) {
        Line& old = m_lines[i];
        if (old.kind == Kind::Value && SameText(old.name, name) && SameKey(m_lines[old.section].key, keyPath)) {
            line.section = old.section;
            line.name = old.name;  // keep the spelling already on file
            line.raw = QuoteName(old.name) + data + m_sEol;
            old = std::move(line);
            return true;
        }
    }

    auto endLine = [this](size_t at) {
        if (at < m_lines.size() && !m_lines[at].raw.empty() && m_lines[at].raw.back() != '\n')
            m_lines[at].raw += m_sEol;
    };
    size_t section = FindSection(keyPath);
    size_t at = m_lines.size();
    if (section == npos) {
        if (m_lines.empty()) {
            Line header;
            header.kind = Kind::Header;
            header.raw = std::string(kHeader) + m_sEol;
            m_lines.push_back(std::move(header));
        }
        endLine(m_lines.size() - 1);
        if (TrimRight(m_lines.back().raw).size() > 0) {
            Line blank;
            blank.raw = m_sEol;
            m_lines.push_back(std::move(blank));
        }
        Line head;
        head.kind = Kind::Section;
        head.key.assign(KeyOf(keyPath));
        head.raw = "[" + head.key + "]" + m_sEol;
        section = m_lines.size();
        m_lines.push_back(std::move(head));
        at = m_lines.size();
    } else {
        // Behind the section's last line that is not blank.
        at = section + 1;
        while (at < m_lines.size() && TrimLeft(m_lines[at].raw).substr(0, 1) != "[") ++at;
        while (at > section + 1 && TrimLeft(TrimRight(m_lines[at - 1].raw)).empty()) --at;
    }
    endLine(at - 1);
    line.section = section;
    m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(at), std::move(line));
    // Lines behind the insertion moved one place on.
    for (size_t i = at + 1; i < m_lines.size(); ++i)
        if (m_lines[i].kind == Kind::Value && m_lines[i].section >= at) ++m_lines[i].section;
    return true;
}

bool RegistryHive::RemoveKey(std::string_view keyPath)
{
    std::vector<Line> kept;
    std::vector<size_t> moved(m_lines.size(), npos);
    bool removing = false, removed = false;
    for (size_t i = 0; i < m_lines.size(); ++i) {
        Line& line = m_lines[i];
        // A key's block runs to the next key line, well-formed or not.
        if (line.kind == Kind::Section || TrimLeft(line.raw).substr(0, 1) == "[")
            removing = line.kind == Kind::Section && IsKeyOrBelow(line.key, keyPath);
        if (removing) {
            removed = true;
            continue;
        }
        moved[i] = kept.size();
        kept.push_back(std::move(line));
    }
    for (Line& line : kept)
        if (line.kind == Kind::Value) line.section = moved[line.section];
    m_lines = std::move(kept);
    return removed;
}

std::vector<std::string> RegistryHive::SubKeys(std::string_view keyPath) const
{
    const std::string_view parent = KeyOf(keyPath);
    std::vector<std::string> names;
    for (const Line& line : m_lines) {
        if (line.kind != Kind::Section || line.key.size() <= parent.size() || !IsKeyOrBelow(line.key, parent)) continue;
        std::string_view rest = std::string_view(line.key).substr(parent.size() + 1);
        rest = rest.substr(0, rest.find('\\'));
        bool seen = rest.empty();
        for (const std::string& name : names) seen = seen || SameText(name, rest);
        if (!seen) names.emplace_back(rest);
    }
    return names;
}

std::string RegistryHive::Serialize() const
{
    size_t size = 0;
    for (const Line& line : m_lines) size += line.raw.size();
    std::string text;
    text.reserve(size);
    for (const Line& line : m_lines) text += line.raw;
    return text;
}
