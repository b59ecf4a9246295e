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

// Values out of range, of the wrong type or too long read as their defaults;
// a key removed keeps what the last reading found.
TEST(AppEnvironment, ValidatesAndClampsSettings)
{
    World world;
    world.Install({{"LogLevel", Dword(7)},
                   {"PrintOutFormat", Sz("TIFF")},
                   {"DefaultImageFormat", Sz("png")},
                   {"PrinterName", Sz(std::string(260, 'p'))},
                   {"TargetPrinterName", Sz(std::string(259, 't'))},
                   {"ShowDialog", Sz("0")}});
    AppEnvironment env;
    EXPECT_EQ(env.LogLevel, 3);
    EXPECT_STREQ(env.PrintOutFormat, "");
    EXPECT_STREQ(env.DefaultImageFormat, "jpeg");
    EXPECT_STREQ(env.PrinterName, "");  // 261 bytes with its terminator: too long
    EXPECT_EQ(std::string(env.TargetPrinterName), std::string(259, 't'));
    EXPECT_EQ(env.ShowDialog, 1);

    env.SavingsPercentage = 55;
    World::WriteHive(world.root / "etc/user.reg", {});
    env.ReadSettings();
    EXPECT_EQ(env.SavingsPercentage, 55);
}

// The dialog's cancellation is written back; without the key it changes in
// memory only, with a log line.
TEST(AppEnvironment, PrintJobCancellationIsWrittenBack)
{
    World world;
    world.Install({{"SavingsPercentage", Dword(20)}, {"PrintJobCancellation", Dword(1)}});
    AppEnvironment env;
    env.SetPrintJobCancellation(0);
    AppEnvironment again;
    EXPECT_EQ(again.PrintJobCancellation, 0);
    EXPECT_EQ(again.SavingsPercentage, 20);

    World::WriteHive(world.root / "etc/user.reg", {});
    LogTo log((world.root / "env.log").string());
    env.SetPrintJobCancellation(3);
    EXPECT_EQ(env.PrintJobCancellation, 3);
    EXPECT_NE(ReadAll(world.root / "env.log").find("Set Print Job Cancelcation failed!"), std::string::npos);
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

    // An administrator's 0 sets no ceiling; a value beyond a signed dword is taken as unset.
    world.Install({{"JobTimeout", Dword(0)}}, {{"JobTimeoutLimit", Dword(0)}});
    EXPECT_EQ(AppEnvironment().JobTimeout, 0);
    world.Install({{"JobTimeout", Dword(0)}}, {{"JobTimeoutLimit", Dword(0xfffffffe)}});
    EXPECT_EQ(AppEnvironment().JobTimeout, 3600);
}

// A stored 0 is the user's choice of no saving; no value at all, or a
// string, leaves the job to its queue's default. The machine's bounds come
// in the filter's steps.
TEST(AppEnvironment, TellsAStoredSavingFromNoneAndReadsTheMachinesBounds)
{
    World world;
    world.Install({{"SavingsPercentage", Sz("30")}}, {{"MinimumSaving", Dword(12)}, {"DraftSaving", Dword(200)}});
    AppEnvironment env;
    EXPECT_FALSE(env.SavingsPercentageStored);
    EXPECT_EQ(env.MinimumSaving, 15);
    EXPECT_EQ(env.DraftSaving, 75);
    world.Settings({{"SavingsPercentage", Dword(0)}});
    env.ReadSettings();
    EXPECT_TRUE(env.SavingsPercentageStored);
}
