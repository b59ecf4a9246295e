#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "File.h"
#include "ScratchFolder.h"

namespace fs = std::filesystem;

namespace {
std::string Contents(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
}  // namespace

// Creating over an old file replaces it whole, however long it was; a file
// another writer holds is left as it is; a new-only create refuses a name in use.
TEST(File, CreateReplacesAnOldFileWholeButNeverOneHeldOpen)
{
    ScratchFolder scratch;
    const fs::path dir = scratch.Path();
    const fs::path name = dir / "QrxWrite.cfg";
    std::ofstream(name) << std::string(100000, 'x');

    File file;
    ASSERT_TRUE(file.Create(name.c_str()));
    ASSERT_TRUE(file.Write("new", 3));
    EXPECT_EQ(Contents(name), "new");

    File other;
    EXPECT_FALSE(other.Create(name.c_str()));  // held by `file`
    EXPECT_EQ(Contents(name), "new");
    ASSERT_TRUE(file.Close());

    EXPECT_FALSE(other.Create(name.c_str(), true));
    EXPECT_EQ(Contents(name), "new");

    // A new file and an empty old one both start empty.
    const fs::path empty = dir / "empty";
    std::ofstream{empty};
    for (const fs::path& path : {dir / "_dk_0001.tm_", empty}) {
        ASSERT_TRUE(file.Create(path.c_str(), path != empty));
        ASSERT_TRUE(file.Write("page", 4));
        ASSERT_TRUE(file.Close());
        EXPECT_EQ(Contents(path), "page") << path;
    }
}

// A file written again and again under a name of its own and handed out
// under further names: each writing ends at its own length, and a further
// name never replaces what exists nor is left naming another file.
TEST(File, FurtherNamesNameOnlyThisFile)
{
    ScratchFolder scratch;
    const fs::path dir = scratch.Path();
    const fs::path own = dir / "spare", page = dir / "page", planted = dir / "planted";
    File file;
    ASSERT_TRUE(file.Create(own.c_str()));
    file.Unlock();
    ASSERT_TRUE(file.Write("a longer page", 13));
    ASSERT_TRUE(file.Rewind());
    ASSERT_TRUE(file.Write("short", 5));
    ASSERT_TRUE(file.CutHere());
    ASSERT_TRUE(file.AddName(own.c_str(), page.c_str()));
    EXPECT_EQ(Contents(page), "short");
    EXPECT_EQ(file.NameCount(), 2);
    EXPECT_TRUE(DeleteFile(page.c_str())) << "whoever takes the page must be able to delete its name";
    EXPECT_EQ(file.NameCount(), 1);

    std::ofstream(planted) << "theirs";
    EXPECT_FALSE(file.AddName(own.c_str(), planted.c_str()));
    EXPECT_EQ(Contents(planted), "theirs");

    // Our own name now names another file: a name made from it is taken back.
    fs::rename(planted, own);
    EXPECT_EQ(file.NameCount(), 0);
    EXPECT_FALSE(file.AddName(own.c_str(), page.c_str()));
    EXPECT_FALSE(fs::exists(page));
}
