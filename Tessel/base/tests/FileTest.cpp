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
