#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <thread>

#include "RegistryKey.h"
#include "ScratchFolder.h"

namespace
{
class RegistryKeyTest : public ::testing::Test
{
protected:
    ScratchFolder m_folder;
    std::string m_user = m_folder.Path("user.reg");
    std::string m_machine = m_folder.Path("machine.reg");
    ScopedVariable m_hkcu{"TESSEL_HKCU", m_user.c_str()};
    ScopedVariable m_hklm{"TESSEL_HKLM", m_machine.c_str()};

    void WriteUser(const std::string& body) { m_folder.Write("user.reg", "REGEDIT4\n\n" + body); }
};

void ExpectOpenFails(RegistryKey& key, const char* subkey)
{
    try {
        key.OpenForRead(subkey);
        ADD_FAILURE() << subkey << " opened";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "RegOpenKeyEx() failed");
    }
}
}  // namespace

TEST_F(RegistryKeyTest, DwordOnlyFromFourByteDwords)
{
    WriteUser(
        "[HKEY_CURRENT_USER\\SOFTWARE\\QMVK\\Parsimo]\n\"Dword\"=dword:0000000a\n"
        "\"Binary\"=hex:01,00,00,00\n\"Short\"=hex(4):01,00\n\"Wide\"=hex(4):01,00,00,00,00\n"
        "\"Four\"=hex(4):02,01,00,00\n\"Text\"=\"10\"\n");
    RegistryKey key(HKEY_CURRENT_USER);
    key.OpenForRead("SOFTWARE\\QMVK\\Parsimo");
    EXPECT_EQ(key.GetDword("dWORD", 99), 10u);
    EXPECT_EQ(key.GetDword("Four", 99), 0x102u);
    for (const char* name : {"Binary", "Short", "Wide", "Text", "Missing"})
        EXPECT_EQ(key.GetDword(name, 99), 99u) << name;
}

TEST_F(RegistryKeyTest, StringMustFitWithItsTerminator)
{
    const std::string exact(259, 'a');
    WriteUser("[HKEY_CURRENT_USER\\K]\n\"Exact\"=\"" + exact + "\"\n\"Over\"=\"" + exact + "b\"\n" +
              "\"Expand\"=hex(2):25,54,25,00\n\"Bare\"=hex(2):41,42\n\"Inner\"=hex(2):41,00,42,00\n" +
              "\"Number\"=dword:1\n");
    RegistryKey key(HKEY_CURRENT_USER);
    key.OpenForRead("K");
    const struct {
        const char* name;
        uint32_t size;
        std::string expected;
    } cases[] = {
        {"Exact", 260, exact}, {"Over", 260, ""},  // 260 characters need 261 bytes
        {"Expand", 4, "%T%"},                      // returned unexpanded
        {"Bare", 3, "AB"},     {"Bare", 2, ""},    // no terminator on file: one is added
        {"Inner", 3, ""},      {"Inner", 4, "A"},  // four bytes of data do not fit three
        {"Number", 261, ""},
    };
    char buffer[261];
    for (const auto& c : cases) {
        std::memset(buffer, 'z', sizeof buffer);
        key.GetString(c.name, buffer, c.size);
        EXPECT_EQ(std::string(buffer), c.expected) << c.name << " in " << c.size;
    }
    key.GetString("Exact", nullptr, 260);
    buffer[0] = 'q';
    key.GetString("Exact", buffer, 0);
    EXPECT_EQ(buffer[0], 'q');
}

TEST_F(RegistryKeyTest, OpensDescendAndNeverCreate)
{
    WriteUser("[HKEY_CURRENT_USER]\n\"Top\"=dword:1\n[HKEY_CURRENT_USER\\SOFTWARE\\QMVK\\Parsimo]\n\"V\"=dword:2\n");
    const std::string before = ScratchFolder::Read(m_user);
    {
        RegistryKey key(HKEY_CURRENT_USER);
        key.OpenForRead("");
        EXPECT_EQ(key.GetDword("Top", 0), 1u);  // still the root
        key.OpenForRead("SOFTWARE");
        key.OpenForRead("QMVK\\Parsimo");
        EXPECT_EQ(key.GetDword("V", 0), 2u);
        ExpectOpenFails(key, "Missing");
        EXPECT_EQ(key.GetDword("V", 0), 2u);  // a failed open leaves the key as it was
        EXPECT_EQ(key.Close(), 0);
        EXPECT_EQ(key.GetDword("Top", 0), 1u);
    }
    RegistryKey machine;  // HKEY_LOCAL_MACHINE, whose hive does not exist
    EXPECT_EQ(machine.GetDword("Anything", 5), 5u);
    ExpectOpenFails(machine, "SOFTWARE");
    EXPECT_FALSE(std::filesystem::exists(m_machine));
    EXPECT_EQ(ScratchFolder::Read(m_user), before);
}

TEST_F(RegistryKeyTest, SetDwordKeepsEverythingElse)
{
    WriteUser(
        "[HKEY_CURRENT_USER\\SOFTWARE\\QMVK\\Parsimo]\n\"PrintJobCancellation\"=dword:00000000\n"
        "#!garbage that no parser understands\n\"Name\"=\"x\"\n\n[HKEY_CURRENT_USER\\SOFTWARE\\QMVK\\QRXPort]\n"
        "\"JobId\"=dword:7\n");
    std::string expected = ScratchFolder::Read(m_user);
    {
        RegistryKey key(HKEY_CURRENT_USER);
        key.OpenForWrite("SOFTWARE\\QMVK\\Parsimo");
        key.SetDword("PrintJobCancellation", 1);
        EXPECT_EQ(key.GetDword("PrintJobCancellation", 0), 1u);
    }
    expected.replace(expected.find("dword:00000000"), 14, "dword:00000001");
    EXPECT_EQ(ScratchFolder::Read(m_user), expected);
    const auto files = std::distance(std::filesystem::directory_iterator(m_folder.Path()), {});
    EXPECT_EQ(files, 1);  // no temporary file left behind

    RegistryKey reader(HKEY_CURRENT_USER);
    reader.OpenForRead("SOFTWARE\\QMVK\\Parsimo");
    EXPECT_THROW(reader.SetDword("PrintJobCancellation", 2), std::runtime_error);
    EXPECT_EQ(ScratchFolder::Read(m_user), expected);
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
}

TEST_F(RegistryKeyTest, OversizedHiveIsRefused)
{
    ScopedLog log(m_folder);
    WriteUser("[HKEY_CURRENT_USER\\K]\n\"V\"=dword:1\n");
    std::filesystem::resize_file(m_user, (16u << 20) + 1);
    RegistryKey key(HKEY_CURRENT_USER);
    EXPECT_EQ(key.GetDword("V", 3), 3u);
    ExpectOpenFails(key, "K");
    EXPECT_THROW(key.SetDword("V", 2), std::runtime_error);
    EXPECT_EQ(std::filesystem::file_size(m_user), (16u << 20) + 1);
    EXPECT_NE(log.Text().find("Registry file " + m_user + " is larger than 16777216 bytes, not read."),
              std::string::npos);
}

TEST_F(RegistryKeyTest, DefaultHiveLocations)
{
    ScopedVariable hkcu("TESSEL_HKCU", nullptr);
    ScopedVariable config("XDG_CONFIG_HOME", m_folder.Path().c_str());
    std::filesystem::create_directories(m_folder.Path("tessel"));
    m_folder.Write("tessel/user.reg", "REGEDIT4\n[HKEY_CURRENT_USER\\K]\n\"V\"=dword:4\n");
    RegistryKey key(HKEY_CURRENT_USER);
    key.OpenForRead("K");
    EXPECT_EQ(key.GetDword("V", 0), 4u);
}
