#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "File.h"
#include "FileSearch.h"
#include "ScratchFolder.h"

namespace fs = std::filesystem;

TEST(FileSearch, WindowsMaskRules)
{
    const char* mask = "_dk_????.tm_.*";
    for (const char* name : {"_dk_0001.tm_", "_DK_0042.TM_.JPG"}) EXPECT_TRUE(MatchesMask(name, mask)) << name;
    for (const char* name : {"_dk_001.tm_", "_dk_00001.tm_"}) EXPECT_FALSE(MatchesMask(name, mask)) << name;
    // Many stars against a long name stay fast and correct.
    EXPECT_FALSE(MatchesMask(std::string(5000, 'a').c_str(), "*a*a*a*a*a*a*a*a*b"));
}

TEST(FileSearch, ListsOnlyMatchingPlainFiles)
{
    ScratchFolder scratch;
    const fs::path dir = scratch.Path();
    fs::create_directories(dir / "_dk_0009.tm_");  // a folder never counts
    for (const char* name : {"_dk_0001.tm_", "_dk_0002.tm_.pdf", "QrxWrite.cfg"}) std::ofstream(dir / name) << "x";
    fs::create_symlink(dir / "QrxWrite.cfg", dir / "_dk_0003.tm_");
    // Another user's file is never taken for ours (only root can make one here).
    std::ofstream(dir / "_dk_0004.tm_") << "x";
    if (geteuid() == 0) {
        ASSERT_EQ(lchown((dir / "_dk_0004.tm_").c_str(), 65534, 65534), 0);
    }

    auto names = FindFiles((dir.string() + "/").c_str(), "_dk_????.tm_.*");
    std::sort(names.begin(), names.end());
    if (geteuid() != 0) names.erase(std::remove(names.begin(), names.end(), "_dk_0004.tm_"), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"_dk_0001.tm_", "_dk_0002.tm_.pdf"}));
    EXPECT_TRUE(FindFiles((dir / "missing").c_str(), "*").empty());

    // A file held open by a writer is not deleted under it.
    File holder;
    ASSERT_TRUE(holder.Create((dir / "_dk_0001.tm_").c_str()));
    EXPECT_FALSE(DeleteFile((dir / "_dk_0001.tm_").c_str()));
    holder.Close();
    EXPECT_TRUE(DeleteFile((dir / "_dk_0001.tm_").c_str()));
}
