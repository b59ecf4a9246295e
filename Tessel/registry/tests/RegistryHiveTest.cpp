#include <gtest/gtest.h>

#include <string>

#include "RegistryHive.h"
#include "RegistryKey.h"
#include "ScratchFolder.h"

#include <filesystem>

namespace {
constexpr const char* kKey = "HKEY_CURRENT_USER\\SOFTWARE\\QMVK\\Parsimo";

RegistryHive::Value ValueOf(const RegistryHive& hive, const char* key, const char* name)
{
    RegistryHive::Value value;
    EXPECT_TRUE(hive.GetValue(key, name, value)) << name;
    return value;
}
}  // namespace

TEST(RegistryHive, ReadsEveryValueFormAndKey)
{
    RegistryHive hive;
    hive.Parse("REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\SOFTWARE\\QMVK\\Parsimo]\r\n"
               "\"Text\"=\"C:\\\\Temp \\\"q\\\"\"\r\n"
               "\"Count\"=dword:0000000a\r\n"
               "\"Path\"=hex(2):41,42,00\r\n"
               "\"Blob\"=hex:01,02,\\\r\n"
               "  03,04\r\n"
               "@=\"default\"\r\n"
               "; a comment\r\n");
    EXPECT_EQ(hive.ProblemCount(), 0);
    const struct {
        const char* key;
        const char* name;
        uint32_t type;
        std::string data;
    } cases[] = {
        {kKey, "Text", REG_SZ, std::string("C:\\Temp \"q\"\0", 12)},
        {kKey, "count", REG_DWORD, std::string("\x0a\0\0\0", 4)},  // names without regard to case
        {"hkey_current_user\\software\\qmvk\\PARSIMO\\", "Path", REG_EXPAND_SZ, std::string("AB\0", 3)},
        {kKey, "Blob", REG_BINARY, "\x01\x02\x03\x04"},
        {kKey, "", REG_SZ, std::string("default\0", 8)},
    };
    for (const auto& c : cases) {
        const RegistryHive::Value v = ValueOf(hive, c.key, c.name);
        EXPECT_EQ(v.type, c.type) << c.name;
        EXPECT_EQ(std::string(v.data.begin(), v.data.end()), c.data) << c.name;
    }
    EXPECT_TRUE(hive.HasKey("HKEY_CURRENT_USER\\software"));  // exists through a lower section
    EXPECT_FALSE(hive.HasKey("HKEY_CURRENT_USER\\SOFT"));     // a prefix of a name is no key

    RegistryHive twice;  // the later definition wins; a missing header is a problem but no stop
    twice.Parse(
        "[HKEY_CURRENT_USER\\A]\n\"X\"=dword:1\n[HKEY_CURRENT_USER\\B]\n[hkey_current_user\\a]\n\"x\"=dword:2\n");
    EXPECT_EQ(twice.ProblemCount(), 1);
    EXPECT_EQ(ValueOf(twice, "HKEY_CURRENT_USER\\A", "X").data, (std::vector<uint8_t>{2, 0, 0, 0}));
}

TEST(RegistryHive, SetDwordChangesOnlyItsOwnLine)
{
    const std::string before = "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\SOFTWARE\\QMVK\\Parsimo]\r\n"
                               "\"LogLevel\"=dword:00000002\r\n"
                               "this line means nothing\r\n"
                               "\"Blob\"=hex:01,\\\r\n  02\r\n"
                               "\r\n[HKEY_CURRENT_USER\\Other]\r\n\"Name\"=\"x\"\r\n";
    RegistryHive hive;
    hive.Parse(before);
    EXPECT_EQ(hive.ProblemCount(), 1);
    EXPECT_EQ(hive.Serialize(), before);

    ASSERT_TRUE(hive.SetDword(kKey, "loglevel", 0xDEADBEEF));
    std::string expected = before;
    expected.replace(expected.find("\"LogLevel\"=dword:00000002"), 25, "\"LogLevel\"=dword:deadbeef");
    EXPECT_EQ(hive.Serialize(), expected);

    // A new value joins its section ahead of the blank line; a new key goes last.
    ASSERT_TRUE(hive.SetDword(kKey, "New\"Name", 1));
    ASSERT_TRUE(hive.SetDword("HKEY_CURRENT_USER\\Third", "", 3));
    expected.insert(expected.find("\r\n[HKEY_CURRENT_USER\\Other]"), "\"New\\\"Name\"=dword:00000001\r\n");
    expected += "\r\n[HKEY_CURRENT_USER\\Third]\r\n@=dword:00000003\r\n";
    EXPECT_EQ(hive.Serialize(), expected);

    // A line break or NUL would let a name or text add lines of its own to the hive.
    EXPECT_FALSE(hive.SetDword(kKey, std::string_view("a\nb"), 1));
    EXPECT_FALSE(hive.SetString(kKey, "A", "a\n[HKEY_LOCAL_MACHINE\\X]"));
    EXPECT_FALSE(hive.SetString(kKey, "A", std::string_view("a\0b", 3)));
    EXPECT_EQ(hive.Serialize(), expected);

    RegistryHive cut;  // the last line has no line break
    cut.Parse("REGEDIT4\n[HKEY_CURRENT_USER\\K]\n\"A\"=dword:1");
    ASSERT_TRUE(cut.SetDword("HKEY_CURRENT_USER\\K", "B", 2));
    EXPECT_EQ(cut.Serialize(), "REGEDIT4\n[HKEY_CURRENT_USER\\K]\n\"A\"=dword:1\n\"B\"=dword:00000002\n");
}

TEST(RegistryHive, AHiveThatIsALinkIsWrittenAtItsTarget)
{
    ScratchFolder folder;
    std::filesystem::create_directories(folder.Path("dotfiles"));
    const std::string target = folder.Write("dotfiles/user.reg", "REGEDIT4\r\n\r\n[" + std::string(kKey) + "]\r\n");
    const std::string link = folder.Path("user.reg");
    std::filesystem::create_symlink(target, link);
    ASSERT_TRUE(RegistryHive::StoreDword(link.c_str(), kKey, "Count", 7));
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_NE(ScratchFolder::Read(target).find("\"Count\"=dword:00000007"), std::string::npos);
    std::filesystem::remove(target);
    EXPECT_FALSE(RegistryHive::StoreDword(link.c_str(), kKey, "Count", 8));  // a dangling link is not replaced
    EXPECT_TRUE(std::filesystem::is_symlink(link));
}

TEST(RegistryHive, RemoveKeyTakesTheKeyAndItsSubkeysOnly)
{
    RegistryHive hive;
    hive.Parse("REGEDIT4\n\n[HKEY_CURRENT_USER\\A]\n\"x\"=dword:00000001\n\n[HKEY_CURRENT_USER\\A\\7]\n"
               "\"y\"=\"seven\"\n; a comment of 7\n[HKEY_CURRENT_USER\\A\\8\\deep]\n\"z\"=\"eight\"\n"
               "[HKEY_CURRENT_USER\\A\\70]\n\"y\"=\"seventy\"\n");
    EXPECT_EQ(hive.SubKeys("HKEY_CURRENT_USER\\A"), (std::vector<std::string>{"7", "8", "70"}));
    EXPECT_TRUE(hive.RemoveKey("HKEY_CURRENT_USER\\a\\7"));
    EXPECT_FALSE(hive.RemoveKey("HKEY_CURRENT_USER\\A\\7"));
    EXPECT_TRUE(hive.RemoveKey("HKEY_CURRENT_USER\\A\\8"));
    // Values set after a removal land in the right key.
    ASSERT_TRUE(hive.SetString("HKEY_CURRENT_USER\\A\\70", "w", "new"));
    EXPECT_EQ(hive.Serialize(), "REGEDIT4\n\n[HKEY_CURRENT_USER\\A]\n\"x\"=dword:00000001\n\n"
                                "[HKEY_CURRENT_USER\\A\\70]\n\"y\"=\"seventy\"\n\"w\"=\"new\"\n");
}
