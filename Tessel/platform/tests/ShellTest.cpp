#include <gtest/gtest.h>

#include "ScratchFolder.h"
#include "Shell.h"

namespace {
// A program that records its one argument, whole, in <name>.record.
void WriteRecorder(const ScratchFolder& dir, const std::string& name)
{
    const std::string record = dir.Path(name + ".record");
    dir.WriteScript(name, "printf '%s' \"$1\" > '" + record + ".tmp' && mv '" + record + ".tmp' '" + record + "'");
}

// Opens a target and tells whether the recorder got exactly that target;
// each opening is awaited, so no recorder outlives the folder.
bool Opened(const ScratchFolder& dir, const std::string& recorder, const std::string& target)
{
    const std::string record = dir.Path(recorder + ".record");
    std::filesystem::remove(record);
    return ShellOpen(target.c_str()) > 32 && Eventually([&] { return std::filesystem::exists(record); }) &&
           ScratchFolder::Read(record) == target;
}
}  // namespace

TEST(ShellTest, OpenerGetsTheFileAsOneArgument)
{
    ScratchFolder dir;
    ScopedLog log(dir);
    WriteRecorder(dir, "opener");
    ScopedVariable opener("TESSEL_OPENER", dir.Path("opener").c_str());
    const std::string pdf = dir.Write("my job's \"output\" $HOME `x`.pdf", "x");
    EXPECT_TRUE(Opened(dir, "opener", pdf));
    EXPECT_EQ(ShellOpen(dir.Path("none.pdf").c_str()), SE_ERR_FNF);

    ScopedVariable missing("TESSEL_OPENER", dir.Path("no-such-opener").c_str());
    EXPECT_EQ(ShellOpen(pdf.c_str()), SE_ERR_FNF);
    EXPECT_NE(log.Text().find("CreateChildProcess() failed.\r\n"), std::string::npos);
}
