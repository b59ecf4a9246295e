#include <gtest/gtest.h>

#include <stdexcept>

#include "AppEnvironment.h"
#include "Log.h"
#include "TestWorld.h"

using namespace testworld;

namespace {
struct LogTo {
    explicit LogTo(const std::string& path) { SetLogFileName(path.c_str()); }
    ~LogTo() { SetLogFileName(""); }
};
}  // namespace

// Values out of range, of the wrong type, unknown or too long read as their
// defaults.
TEST(AppEnvironment, ValidatesAndClampsSettings)
{
    World world;
    world.Install({{"LogLevel", Dword(7)},
                   {"PrintOutFormat", Sz("TIFF")},
                   {"PrinterName", Sz(std::string(260, 'p'))},
                   {"ShowDialog", Sz("0")}});
    AppEnvironment env;
    EXPECT_EQ(env.LogLevel, 3);
    EXPECT_STREQ(env.PrintOutFormat, "");
    EXPECT_STREQ(env.PrinterName, "");  // 261 bytes with its terminator: too long
    EXPECT_EQ(env.ShowDialog, 1);
}

// The dialog's cancellation is written back (else it would cancel the next job too).
TEST(AppEnvironment, PrintJobCancellationIsWrittenBack)
{
    World world;
    world.Install({{"SavingsPercentage", Dword(20)}, {"PrintJobCancellation", Dword(1)}});
    AppEnvironment().SetPrintJobCancellation(0);
    AppEnvironment again;
    EXPECT_EQ(again.PrintJobCancellation, 0);
    EXPECT_EQ(again.SavingsPercentage, 20);
}

// No installation, or a plain file where the user's folder belongs, stops
// the job. The all-users folder is the administrator's: when it cannot be
// made the environment keeps its name; only a base folder that is not
// there at all still stops the job.
TEST(AppEnvironment, MissingInstallationOrFolders)
{
    World world;
    world.Settings({});
    LogTo log((world.root / "env.log").string());
    EXPECT_THROW(AppEnvironment(), std::runtime_error);

    World::WriteHive(world.root / "etc/machine.reg", {{"HKEY_LOCAL_MACHINE\\SOFTWARE\\QMVK\\Parsimo", {}}});
    world.Set("TESSEL_APPDATA", (world.root / "blocked").string());
    fs::create_directories(world.root / "blocked");
    std::ofstream(world.root / "blocked/QMVK") << "x";
    EXPECT_THROW(AppEnvironment(), std::runtime_error);

    world.Set("TESSEL_APPDATA", (world.root / "user").string());
    world.Set("TESSEL_COMMON_APPDATA", (world.root / "blocked").string());
    EXPECT_EQ(AppEnvironment().CommonAppDataDir, (world.root / "blocked/QMVK/Parsimo/").string());
    world.Set("TESSEL_COMMON_APPDATA", (world.root / "blocked/QMVK/below").string());
    EXPECT_THROW(AppEnvironment(), std::runtime_error);
}

// No user's JobTimeout, not even 0 ("no limit"), outlasts the machine's
// ceiling, on the first reading and after the settings dialog's; the
// settings as stored, for the settings program, know no ceiling.
TEST(AppEnvironment, TheMachineCapsJobTimeout)
{
    World world;
    world.Install({{"JobTimeout", Dword(0)}});
    EXPECT_EQ(AppEnvironment().JobTimeout, 3600);
    world.Install({{"JobTimeout", Dword(7200)}}, {{"JobTimeoutLimit", Dword(120)}});
    AppEnvironment env;
    EXPECT_EQ(env.JobTimeout, 120);
    world.Settings({{"JobTimeout", Dword(0)}});
    env.ReadSettings();
    EXPECT_EQ(env.JobTimeout, 120);

    AppEnvironment stored{AppEnvironment::DefaultsOnly{}};
    stored.ReadSettings();
    EXPECT_EQ(stored.JobTimeout, 0);

    // An administrator's 0 sets no ceiling.
    world.Install({{"JobTimeout", Dword(0)}}, {{"JobTimeoutLimit", Dword(0)}});
    EXPECT_EQ(AppEnvironment().JobTimeout, 0);
}
