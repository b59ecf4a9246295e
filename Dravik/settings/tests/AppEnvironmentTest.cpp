#include <gtest/gtest.h>

#include <stdexcept>

#include "AppEnvironment.h"
#include "Log.h"
#include "TestWorld.h"

using testworld::Dword;
using testworld::Sz;
using testworld::World;
namespace fs = std::filesystem;

namespace {
struct LogTo {
    explicit LogTo(const std::string& path) { SetLogFileName(path.c_str()); }
    ~LogTo() { SetLogFileName(""); }
};
}  // namespace

TEST(AppEnvironment, ValidatesAndClampsSettings)
{
    World world;
    world.Install({{"LogLevel", Dword(7)},
                   {"SavingsPercentage", Dword(30)},
                   {"PrintOutFormat", Sz("pdf")},
                   {"DefaultImageFormat", Sz("BMP16M")},
                   {"PrinterName", Sz(std::string(260, 'p'))},
                   {"TargetPrinterName", Sz(std::string(259, 't'))},
                   {"ShowDialog", Sz("0")}});
    AppEnvironment env;
    EXPECT_EQ(env.LogLevel, 3);
    EXPECT_STREQ(env.PrinterName, "");  // 261 bytes with its terminator: too long
    EXPECT_EQ(std::string(env.TargetPrinterName), std::string(259, 't'));
    EXPECT_EQ(env.ShowDialog, 1);  // a string where a number belongs reads as the default

    world.Settings(
        {{"LogLevel", Dword(0xffffffff)}, {"PrintOutFormat", Sz("TIFF")}, {"DefaultImageFormat", Sz("png")}});
    env.ReadSettings();
    EXPECT_EQ(env.LogLevel, 0);
    EXPECT_STREQ(env.PrintOutFormat, "");
    EXPECT_STREQ(env.DefaultImageFormat, "jpeg");

    // Removing the key keeps what the last reading found.
    env.SavingsPercentage = 55;
    World::WriteHive(world.root / "etc/user.reg", {});
    env.ReadSettings();
    EXPECT_EQ(env.SavingsPercentage, 55);
    EXPECT_EQ(env.LogLevel, 0);
}

TEST(AppEnvironment, PrintJobCancellationIsWrittenBack)
{
    World world;
    world.Install({{"SavingsPercentage", Dword(20)}, {"PrintJobCancellation", Dword(1)}});
    AppEnvironment env;
    EXPECT_EQ(env.PrintJobCancellation, 1);
    env.SetPrintJobCancellation(0);
    AppEnvironment again;
    EXPECT_EQ(again.PrintJobCancellation, 0);
    EXPECT_EQ(again.SavingsPercentage, 20);

    // Without the key the value changes in memory only, with one log line.
    World::WriteHive(world.root / "etc/user.reg", {});
    LogTo log((world.root / "env.log").string());
    env.SetPrintJobCancellation(3);
    EXPECT_EQ(env.PrintJobCancellation, 3);
    const std::string text = testworld::ReadAll(world.root / "env.log");
    EXPECT_NE(text.find("Set Print Job Cancelcation failed!\r\n"), std::string::npos);
    EXPECT_EQ(text.find('\n'), text.size() - 1);
}

TEST(AppEnvironment, MissingInstallationOrFolders)
{
    World world;
    world.Settings({});
    LogTo log((world.root / "env.log").string());
    EXPECT_THROW(AppEnvironment(), std::runtime_error);

    // An installation key without InstallDir still builds.
    World::WriteHive(world.root / "etc/machine.reg", {{"HKEY_LOCAL_MACHINE\\SOFTWARE\\QMVK\\Parsimo", {}}});
    {
        AppEnvironment env;
        EXPECT_STREQ(env.InstallDir, "");
    }

    // A plain file where the group folder belongs.
    world.Set("TESSEL_APPDATA", (world.root / "blocked").string());
    fs::create_directories(world.root / "blocked");
    std::ofstream(world.root / "blocked/QMVK") << "x";
    EXPECT_THROW(AppEnvironment(), std::runtime_error);
    world.Set("TESSEL_APPDATA", (world.root / "user").string());
    world.Set("TESSEL_COMMON_APPDATA", (world.root / "blocked").string());
    // The all-users folder is the administrator's: when it cannot be made
    // the environment keeps its name, with one line in the log.
    {
        AppEnvironment env;
        EXPECT_EQ(env.CommonAppDataDir, (world.root / "blocked/QMVK/Parsimo/").string());
        EXPECT_EQ(env.AppDataDir, (world.root / "user/QMVK/Parsimo/").string());
    }
    std::string text = testworld::ReadAll(world.root / "env.log");
    EXPECT_NE(text.find("The all-users folder " + (world.root / "blocked/QMVK/Parsimo").string() + " cannot be made"),
              std::string::npos);
    EXPECT_EQ(text.find("Common application data folder not found!"), std::string::npos);
    // Only a base folder that is not there at all still fails.
    world.Set("TESSEL_COMMON_APPDATA", (world.root / "blocked/QMVK/below").string());
    EXPECT_THROW(AppEnvironment(), std::runtime_error);
    text = testworld::ReadAll(world.root / "env.log");
    EXPECT_NE(text.find("Common application data folder not found!\r\n"), std::string::npos);
}

// No user's JobTimeout, not even 0 ("no limit"), outlasts the machine's
// ceiling, on the first reading and after the settings dialog's.
TEST(AppEnvironment, TheMachineCapsJobTimeout)
{
    World world;
    world.Install({{"JobTimeout", Dword(0)}});
    {
        AppEnvironment env;
        EXPECT_EQ(env.JobTimeoutLimit, 3600);
        EXPECT_EQ(env.JobTimeout, 3600);
    }
    world.Install({{"JobTimeout", Dword(7200)}}, {{"JobTimeoutLimit", Dword(120)}});
    AppEnvironment env;
    EXPECT_EQ(env.JobTimeout, 120);
    world.Settings({{"JobTimeout", Dword(0)}});
    env.ReadSettings();
    EXPECT_EQ(env.JobTimeout, 120);

    // The settings as stored, for the settings program: no ceiling applies.
    world.Settings({{"JobTimeout", Dword(0)}});
    AppEnvironment stored{AppEnvironment::DefaultsOnly{}};
    stored.ReadSettings();
    EXPECT_EQ(stored.JobTimeout, 0);

    // An administrator's 0 sets no ceiling; a value beyond a signed dword is taken as unset.
    world.Install({{"JobTimeout", Dword(0)}}, {{"JobTimeoutLimit", Dword(0)}});
    EXPECT_EQ(AppEnvironment().JobTimeout, 0);
    world.Install({{"JobTimeout", Dword(0)}}, {{"JobTimeoutLimit", Dword(0xfffffffe)}});
    EXPECT_EQ(AppEnvironment().JobTimeout, 3600);
}

// A stored 0 is the user's choice of no saving; no value at all leaves the
// job to its queue's default. The machine's bounds come in the filter's steps.
TEST(AppEnvironment, TellsAStoredSavingFromNoneAndReadsTheMachinesBounds)
{
    World world;
    world.Install({{"ShowDialog", Dword(0)}}, {{"MinimumSaving", Dword(12)}, {"DraftSaving", Dword(200)}});
    AppEnvironment env;
    EXPECT_FALSE(env.SavingsPercentageStored);
    EXPECT_EQ(env.MinimumSaving, 15);
    EXPECT_EQ(env.DraftSaving, 75);
    world.Settings({{"SavingsPercentage", Dword(0)}});
    env.ReadSettings();
    EXPECT_TRUE(env.SavingsPercentageStored);
    world.Settings({{"SavingsPercentage", Sz("30")}});
    env.ReadSettings();
    EXPECT_FALSE(env.SavingsPercentageStored);
}
