#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <malloc.h>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "ScratchFolder.h"
#include "SysUtils.h"

namespace fs = std::filesystem;

namespace {
bool OwnerOnly(const std::string& path)
{
    const auto perms = fs::status(path).permissions();
    return (perms & (fs::perms::group_all | fs::perms::others_all)) == fs::perms::none;
}
}  // namespace

TEST(SysUtils, FoldersAreMadeLevelByLevelForTheOwnerOnly)
{
    ScratchFolder folder;
    ScopedVariable a("TESSEL_APPDATA", (folder.Path("home/data") + "/").c_str());
    EXPECT_STREQ(GetAppDataFolder().GetText(), folder.Path("home/data").c_str());  // no final separator

    const std::string expected = folder.Path("home/data") + "/QMVK/Parsimo/";
    EXPECT_STREQ(MakeAppDataDir("QMVK", "Parsimo").GetText(), expected.c_str());
    EXPECT_TRUE(OwnerOnly(folder.Path("home/data")));
    EXPECT_TRUE(OwnerOnly(expected));
}

TEST(SysUtils, FolderFailuresAreRefusedAndLogged)
{
    ScratchFolder folder;
    ScopedLog log(folder);
    ScopedVariable a("TESSEL_APPDATA", folder.Path().c_str());
    const std::string file = folder.Write("Group", "a plain file");
    EXPECT_FALSE(FileExists(file.c_str(), true));  // a file is no folder
    EXPECT_EQ(MakeAppDataDir("Group", "App").GetText(), nullptr);
    {
        ScopedVariable below("TESSEL_APPDATA", (file + "/below").c_str());
        EXPECT_EQ(GetAppDataFolder().GetText(), nullptr);
    }
    EXPECT_NE(log.Text().find("SHGetFolderPath() failed!"), std::string::npos);

    const std::string group(261 - folder.Path().size() - 4, 'g');  // "<base>/<group>/A/" is 261 long
    EXPECT_EQ(MakeAppDataDir(group.c_str(), "A").GetText(), nullptr);
    EXPECT_FALSE(FileExists(folder.Path(group).c_str(), false));
    for (const char* bad : {"..", "a/b"}) EXPECT_EQ(MakeAppDataDir(bad, "A").GetText(), nullptr) << bad;
}

TEST(SysUtils, MemoryFiguresRefuseWhatIsNoNumber)
{
    uint64_t kb = 0;
    const std::string text = "MemTotal:       16303364 kB\nBad: 12x kB\nHuge: 99999999999999999999 kB\n";
    ASSERT_TRUE(FindKilobytes(text, "MemTotal", kb));
    EXPECT_EQ(kb, 16303364u);
    for (const char* refused : {"Mem", "Bad", "Huge"}) EXPECT_FALSE(FindKilobytes(text, refused, kb)) << refused;
}

TEST(SysUtils, TheAllUsersFolderIsItsMakersAndReadByAll)
{
    ScratchFolder folder;
    ScopedVariable common("TESSEL_COMMON_APPDATA", folder.Path("common").c_str());
    const mode_t mask = umask(077);
    const TextBuffer made = MakeCommonAppDataDir("QMVK", "Parsimo");
    umask(mask);
    ASSERT_TRUE(made.GetText());
    EXPECT_EQ(std::filesystem::status(made.GetText()).permissions(), std::filesystem::perms(0755));
    // The path alone makes nothing.
    ScopedVariable other("TESSEL_COMMON_APPDATA", folder.Path("other").c_str());
    ASSERT_TRUE(CommonAppDataDirPath("QMVK", "Parsimo").GetText());
    EXPECT_FALSE(std::filesystem::exists(folder.Path("other")));
}

TEST(SysUtils, ZeroedBlocksAreZeroWhateverTheMemoryHeldBefore)
{
    // Small and page-bitmap sizes, odd lengths included. Each block is
    // written over and given back; the C library is told to keep large
    // blocks in its heap and not to give them to the system, so that it
    // hands the written memory out again (without, every block is new).
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
    std::vector<void*> guards;
    for (const size_t bytes : {size_t{1}, size_t{4096}, (size_t{2} << 20) - 1, (size_t{8} << 20) + 4321}) {
        for (int round = 0; round < 3; ++round) {
            auto* block = static_cast<unsigned char*>(AllocateZeroed(bytes));
            ASSERT_NE(block, nullptr) << bytes;
            size_t nonZero = 0;
            for (size_t i = 0; i < bytes; ++i) nonZero += block[i] != 0;
            EXPECT_EQ(nonZero, 0u) << bytes << " bytes, round " << round;
            std::memset(block, 0xA5, bytes);
            guards.push_back(std::malloc(64));
            std::free(block);
        }
    }
    for (void* guard : guards) std::free(guard);
    mallopt(M_MMAP_THRESHOLD, 128 << 10);
    mallopt(M_TRIM_THRESHOLD, 128 << 10);
    EXPECT_EQ(AllocateZeroed(SIZE_MAX - 1), nullptr);
}
