#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <thread>

#include "RegistryKey.h"
#include "ScratchFolder.h"

namespace {
class RegistryKeyTest : public ::testing::Test {
protected:
    ScratchFolder m_folder;
    std::string m_user = m_folder.Path("user.reg");
    ScopedVariable m_hkcu{"TESSEL_HKCU", m_user.c_str()};
    ScopedVariable m_hklm{"TESSEL_HKLM", m_folder.Path("machine.reg").c_str()};

    void WriteUser(const std::string& body) { m_folder.Write("user.reg", "REGEDIT4\n\n" + body); }
};

}  // namespace

TEST_F(RegistryKeyTest, ValuesReadOnlyWithTheirTypeAndSize)
{
    const std::string exact(259, 'a');
    WriteUser("[HKEY_CURRENT_USER\\K]\n\"Dword\"=dword:0000000a\n\"Four\"=hex(4):02,01,00,00\n\"Short\"=hex(4):01,00\n"
              "\"Text\"=\"10\"\n\"Exact\"=\"" +
              exact + "\"\n\"Over\"=\"" + exact + "b\"\n" + "\"Bare\"=hex(2):41,42\n\"Inner\"=hex(2):41,00,42,00\n");
    RegistryKey key(HKEY_CURRENT_USER);
    key.OpenForRead("K");
    // Size 0 reads a DWORD (default 99); otherwise a string into that many bytes.
    const struct {
        const char* name;
        uint32_t size;
        std::string expected;
    } cases[] = {
        {"dWORD", 0, "10"}, {"Four", 0, "258"},    {"Short", 0, "99"},
        {"Text", 0, "99"},  {"Exact", 260, exact}, {"Over", 260, ""},  // 260 characters need 261 bytes
        {"Bare", 3, "AB"},  {"Bare", 2, ""},                           // no terminator on file: one is added
        {"Inner", 3, ""},                                              // four bytes of data do not fit three
        {"Dword", 261, ""},
    };
    char buffer[261];
    for (const auto& c : cases) {
        std::memset(buffer, 'z', sizeof buffer);
        if (c.size == 0)
            EXPECT_EQ(std::to_string(key.GetDword(c.name, 99)), c.expected) << c.name;
        else {
            key.GetString(c.name, buffer, c.size);
            EXPECT_EQ(std::string(buffer), c.expected) << c.name << " in " << c.size;
        }
    }
    key.GetString("Exact", nullptr, 260);  // no buffer: nothing written
}

TEST_F(RegistryKeyTest, OpensDescendAndNeverCreate)
{
    WriteUser("[HKEY_CURRENT_USER\\SOFTWARE\\QMVK\\Parsimo]\n\"V\"=dword:2\n");
    const std::string before = ScratchFolder::Read(m_user);
    {
        RegistryKey key(HKEY_CURRENT_USER);
        key.OpenForRead("SOFTWARE");
        key.OpenForRead("QMVK\\Parsimo");
        EXPECT_EQ(key.GetDword("V", 0), 2u);
        EXPECT_THROW(key.OpenForRead("Missing"), std::runtime_error);
        EXPECT_THROW(key.SetDword("V", 3), std::runtime_error);  // opened for reading
    }
    RegistryKey machine;  // HKEY_LOCAL_MACHINE, whose hive does not exist
    EXPECT_THROW(machine.OpenForRead("SOFTWARE"), std::runtime_error);
    EXPECT_FALSE(std::filesystem::exists(m_folder.Path("machine.reg")));
    EXPECT_EQ(ScratchFolder::Read(m_user), before);
}

TEST_F(RegistryKeyTest, ConcurrentWritersBothLand)
{
    WriteUser("[HKEY_CURRENT_USER\\K]\n");
    constexpr uint32_t kWrites = 20;
    auto writer = [](const char* name) {
        for (uint32_t i = 1; i <= kWrites; ++i) {
            RegistryKey key(HKEY_CURRENT_USER);
            key.OpenForWrite("K");
            key.SetDword(name, i);
        }
    };
    std::thread first(writer, "First"), second(writer, "Second");
    first.join();
    second.join();
    RegistryKey key(HKEY_CURRENT_USER);
    key.OpenForRead("K");
    EXPECT_EQ(key.GetDword("First", 0), kWrites);
    EXPECT_EQ(key.GetDword("Second", 0), kWrites);
    const auto files = std::distance(std::filesystem::directory_iterator(m_folder.Path()), {});
    EXPECT_EQ(files, 1);  // no temporary file left behind
}

TEST_F(RegistryKeyTest, HostileHiveIsReadAsFarAsItParsesAndKeptWhole)
{
    ScopedLog log(m_folder);
    std::string text = "REGEDIT4\n[HKEY_CURRENT_USER\\K]\n\"Good\"=dword:7\n";
    text += std::string("\x01\xff\x00garbage\n", 11);
    text += "\"" + std::string(200 * 1024, 'x') + "\n";  // 200 KB unterminated name
    text += "\"Nul\"=\"a" + std::string(1, '\0') + "b\"\n";
    text += "\"Num\"=dword:123456789\n\"Esc\"=\"\\n\"\n\"Hex\"=hex:1,zz\n\"Type\"=hex(q):00\n";
    text += "[broken\n\"Orphan\"=dword:1\n[HKEY_CURRENT_USER\\K]\n\"Late\"=dword:8\n\"Cut\"=hex:01,\\\n";
    m_folder.Write("user.reg", text);
    {
        RegistryKey key(HKEY_CURRENT_USER);
        key.OpenForWrite("K");
        EXPECT_EQ(key.GetDword("Good", 0), 7u);
        EXPECT_EQ(key.GetDword("Late", 0), 8u);
        for (const char* name : {"Num", "Hex", "Type", "Orphan", "Cut"}) EXPECT_EQ(key.GetDword(name, 3), 3u) << name;
        key.SetDword("Late", 9);
    }
    // Nothing the parser could not read is lost for a writer.
    text.replace(text.find("\"Late\"=dword:8"), 14, "\"Late\"=dword:00000009");
    EXPECT_EQ(ScratchFolder::Read(m_user), text);
    EXPECT_NE(log.Text().find("Registry file " + m_user + ", line 4: "), std::string::npos) << log.Text();
    EXPECT_EQ(log.Text().find("line 15"), std::string::npos);  // the log is capped

    std::filesystem::resize_file(m_user, (16u << 20) + 1);
    RegistryKey key(HKEY_CURRENT_USER);
    EXPECT_EQ(key.GetDword("V", 3), 3u);
    EXPECT_THROW(key.OpenForRead("K"), std::runtime_error);
    EXPECT_EQ(std::filesystem::file_size(m_user), (16u << 20) + 1);
}

TEST_F(RegistryKeyTest, CreateMakesTheKeyAndAPrivateFolderAndTextsRoundTrip)
{
    const std::string deep = m_folder.Path("config/tessel/user.reg");
    ScopedVariable hkcu("TESSEL_HKCU", deep.c_str());
    {
        RegistryKey key(HKEY_CURRENT_USER);
        EXPECT_THROW(key.OpenForWrite("SOFTWARE\\QMVK"), std::runtime_error);
        key.Create("SOFTWARE\\QMVK");
        key.SetString("Quoted", "a\"b\\c");
        key.SetDword("Quoted", 7);
        key.SetString("Quoted", "a\"b\\c");  // replaces its line, whatever its type
    }
    namespace fs = std::filesystem;
    EXPECT_EQ(fs::status(m_folder.Path("config/tessel")).permissions() & fs::perms::all, fs::perms::owner_all);
    RegistryKey key(HKEY_CURRENT_USER);
    key.OpenForRead("SOFTWARE\\QMVK");
    char buffer[32];
    key.GetString("Quoted", buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "a\"b\\c");
    const std::string hive = ScratchFolder::Read(deep);
    EXPECT_EQ(hive.find("\"Quoted\""), hive.rfind("\"Quoted\""));  // one line, the last one set
}
