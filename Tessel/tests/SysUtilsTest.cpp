#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "ScratchFolder.h"
#include "SysUtils.h"

namespace fs = std::filesystem;

namespace
{
bool OwnerOnly(const std::string& path)
{
    const auto perms = fs::status(path).permissions();
    return (perms & (fs::perms::group_all | fs::perms::others_all)) == fs::perms::none;
}
}  // namespace

TEST(SysUtils, SpecialFoldersFromTheEnvironment)
{
    ScratchFolder folder;
    const std::string user = folder.Path("home/data"), docs = folder.Path("docs"), system = folder.Path("system");
    ScopedVariable a("TESSEL_APPDATA", (user + "/").c_str());
    ScopedVariable c("TESSEL_COMMON_DOCUMENTS", docs.c_str());
    ScopedVariable d("TESSEL_SYSTEM", system.c_str());

    EXPECT_STREQ(GetAppDataFolder().GetText(), user.c_str());  // created, parents too, no final separator
    EXPECT_TRUE(OwnerOnly(user));
    EXPECT_STREQ(GetCommonDocumentsFolder().GetText(), docs.c_str());
    EXPECT_TRUE(FileExists(docs.c_str(), true));
    EXPECT_STREQ(GetSystemFolder().GetText(), system.c_str());
    EXPECT_FALSE(FileExists(system.c_str(), false));  // the system folder is never made

    ScopedVariable unset("TESSEL_APPDATA", nullptr);
    ScopedVariable xdg("XDG_DATA_HOME", nullptr);
    ScopedVariable home("HOME", folder.Path("home").c_str());
    EXPECT_EQ(std::string(GetAppDataFolder().GetText()), folder.Path("home/.local/share"));
}

TEST(SysUtils, SpecialFolderFailureIsLogged)
{
    ScratchFolder folder;
    ScopedLog log(folder);
    const std::string file = folder.Write("plain", "x");
    ScopedVariable a("TESSEL_APPDATA", (file + "/below").c_str());
    EXPECT_EQ(GetAppDataFolder().GetText(), nullptr);
    EXPECT_EQ(MakeAppDataDir("QMVK", "Parsimo").GetText(), nullptr);
    ScopedVariable b("TESSEL_COMMON_APPDATA", std::string(300, 'a').c_str());
    EXPECT_EQ(GetCommonAppDataFolder().GetText(), nullptr);
    const std::string text = log.Text();
    EXPECT_NE(text.find("Error Code"), std::string::npos);
    EXPECT_LT(text.find("Error Code"), text.find("SHGetFolderPath() failed!\r\n"));
}

TEST(SysUtils, ProductFoldersAreMadeLevelByLevel)
{
    ScratchFolder folder;
    ScopedVariable a("TESSEL_APPDATA", folder.Path("user").c_str());
    ScopedVariable b("TESSEL_COMMON_APPDATA", (folder.Path("common") + "/").c_str());
    ScopedVariable c("TESSEL_COMMON_DOCUMENTS", folder.Path("docs").c_str());

    const std::string expected = folder.Path("user") + "/QMVK/Parsimo/";
    EXPECT_STREQ(MakeAppDataDir("QMVK", "Parsimo").GetText(), expected.c_str());
    EXPECT_TRUE(OwnerOnly(folder.Path("user/QMVK")));
    EXPECT_TRUE(OwnerOnly(expected));
    const std::string marker = folder.Write("user/QMVK/Parsimo/keep", "x");
    EXPECT_STREQ(MakeAppDataDir("QMVK", "Parsimo").GetText(), expected.c_str());  // both exist: as it was
    EXPECT_TRUE(FileExists(marker.c_str(), false));

    EXPECT_EQ(std::string(MakeCommonAppDataDir("QMVK", "Parsimo").GetText()), folder.Path("common") + "/QMVK/Parsimo/");
    EXPECT_EQ(std::string(MakeCommonDocumentsDir("QMVK", "Parsimo").GetText()), folder.Path("docs") + "/QMVK/Parsimo/");
}

TEST(SysUtils, ProductFolderFailures)
{
    ScratchFolder folder;
    ScopedVariable a("TESSEL_APPDATA", folder.Path().c_str());
    const std::string file = folder.Write("Group", "a plain file");
    EXPECT_FALSE(FileExists(file.c_str(), true));  // a file is no folder
    EXPECT_FALSE(FileExists(nullptr, false));
    EXPECT_EQ(MakeAppDataDir("Group", "App").GetText(), nullptr);
    fs::create_directories(folder.Path("Other"));
    folder.Write("Other/App", "a plain file");
    EXPECT_EQ(MakeAppDataDir("Other", "App").GetText(), nullptr);

    {  // A group level that cannot be made: the application level is not tried.
        fs::create_directories(folder.Path("locked"));
        ScopedVariable b("TESSEL_APPDATA", folder.Path("locked").c_str());
        fs::permissions(folder.Path("locked"), fs::perms::owner_read | fs::perms::owner_exec);
        std::error_code probe;
        if (!fs::create_directory(folder.Path("locked/probe"), probe)) {  // not so for root
            EXPECT_EQ(MakeAppDataDir("Group", "App").GetText(), nullptr);
            EXPECT_FALSE(FileExists(folder.Path("locked/Group").c_str(), false));
        }
        fs::permissions(folder.Path("locked"), fs::perms::owner_all);
    }

    const std::string group(261 - folder.Path().size() - 4, 'g');  // "<base>/<group>/A/" is 261 long
    EXPECT_EQ(MakeAppDataDir(group.c_str(), "A").GetText(), nullptr);
    EXPECT_FALSE(FileExists(folder.Path(group).c_str(), false));
    EXPECT_NE(MakeAppDataDir(group.substr(1).c_str(), "A").GetText(), nullptr);  // 260 fits
    for (const char* bad : {"", "..", "a/b"}) EXPECT_EQ(MakeAppDataDir(bad, "A").GetText(), nullptr) << bad;
    EXPECT_EQ(MakeAppDataDir("G", nullptr).GetText(), nullptr);
}

TEST(SysUtils, LocaleLanguage)
{
    const struct {
        const char* locale;
        int32_t id;
    } cases[] = {{"de_DE.UTF-8", 0x07}, {"fr_CA@euro", 0x0C}, {"it.UTF-8", 0x10}, {"pt_BR", 0x16}, {"EN_gb", 0x09},
                 {"C.UTF-8", 0},        {"nl_NL", 0},         {"", 0},          {"english", 0}, {nullptr, 0}};
    for (const auto& c : cases) EXPECT_EQ(PrimaryLanguageOfLocale(c.locale), c.id) << (c.locale ? c.locale : "null");

    ScopedVariable all("LC_ALL", "");
    ScopedVariable messages("LC_MESSAGES", "fr_FR");
    ScopedVariable lang("LANG", "de_DE");
    EXPECT_EQ(GetUserPrimaryLanguage(), 0x0C);  // an empty LC_ALL does not count
    ScopedVariable all2("LC_ALL", "it_IT");
    EXPECT_EQ(GetUserPrimaryLanguage(), 0x10);
}

TEST(SysUtils, MemoryFigures)
{
    uint64_t kb = 0;
    const std::string text =
        "MemTotal:       16303364 kB\nMemFree:  1 kB\nBad: 12x kB\nHuge: 99999999999999999999 kB\nPlain: 5\n";
    ASSERT_TRUE(FindKilobytes(text, "MemTotal", kb));
    EXPECT_EQ(kb, 16303364u);
    ASSERT_TRUE(FindKilobytes(text, "Plain", kb));
    EXPECT_EQ(kb, 5u);
    for (const char* refused : {"Mem", "Bad", "Huge"}) EXPECT_FALSE(FindKilobytes(text, refused, kb)) << refused;
    EXPECT_FALSE(FindKilobytes("MemTotal:", "MemTotal", kb));

    MemoryStatus status;
    ASSERT_TRUE(GetMemoryStatus(status));
    EXPECT_GT(status.totalPhys, 0u);
    EXPECT_LE(status.availPhys, status.totalPhys);
    EXPECT_LE(status.memoryLoad, 100u);
}
