#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "File.h"
#include "ScratchFolder.h"

namespace fs = std::filesystem;

// Creating over an old file replaces it whole, however long it was; a file
// another writer holds is left as it is; a new-only create refuses a name in use.
TEST(File, CreateReplacesAnOldFileWholeButNeverOneHeldOpen)
{
    ScratchFolder scratch;
    const std::string name = scratch.Write("QrxWrite.cfg", std::string(100000, 'x'));
    File file;
    ASSERT_TRUE(file.Create(name.c_str()));
    ASSERT_TRUE(file.Write("new", 3));
    File other;
    EXPECT_FALSE(other.Create(name.c_str()));  // held by `file`
    ASSERT_TRUE(file.Close());
    EXPECT_FALSE(other.Create(name.c_str(), true));
    EXPECT_EQ(ScratchFolder::Read(name), "new");
}

// A file written again and again under a name of its own and handed out
// under further names: each writing ends at its own length, and a further
// name never replaces what exists nor is left naming another file.
TEST(File, FurtherNamesNameOnlyThisFile)
{
    ScratchFolder scratch;
    const std::string own = scratch.Path("spare"), page = scratch.Path("page"), planted = scratch.Path("planted");
    File file;
    ASSERT_TRUE(file.Create(own.c_str()));
    file.Unlock();
    ASSERT_TRUE(file.Write("a longer page", 13));
    ASSERT_TRUE(file.Rewind());
    ASSERT_TRUE(file.Write("short", 5));
    ASSERT_TRUE(file.CutHere());
    ASSERT_TRUE(file.AddName(own.c_str(), page.c_str()));
    EXPECT_EQ(ScratchFolder::Read(page), "short");
    EXPECT_TRUE(DeleteFile(page.c_str())) << "whoever takes the page must be able to delete its name";

    scratch.Write("planted", "theirs");
    EXPECT_FALSE(file.AddName(own.c_str(), planted.c_str()));
    EXPECT_EQ(ScratchFolder::Read(planted), "theirs");

    // Our own name now names another file: a name made from it is taken back.
    fs::rename(planted, own);
    EXPECT_FALSE(file.AddName(own.c_str(), page.c_str()));
    EXPECT_FALSE(fs::exists(page));
}
