#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include "ParsimoRun.h"
#include "UserAccount.h"

using testworld::Dword;
using testworld::ReadAll;
using testworld::Sz;
using testworld::World;
namespace fs = std::filesystem;

namespace {
// A world without a spooler: the target printers are the local ones.
struct CommandWorld : World {
    CommandWorld()
    {
        Set("CUPS_SERVER", (root / "no-scheduler.sock").string());
        AddLocalPrinter(*this, "Office");
        AddLocalPrinter(*this, "Parsimo");
    }
    std::string Hive() const { return ReadAll(root / "etc/user.reg"); }
};
}  // namespace

TEST(SettingsCommand, SettingsOfEachKindRoundTripThroughTheHive)
{
    CommandWorld world;  // no hive file at all: set makes it
    const std::vector<std::pair<std::string, std::string>> values = {{"savingspercentage", "35"},
                                                                     {"SHOWDIALOG", "0"},
                                                                     {"TargetPrinterName", "office"},
                                                                     {"PrintOutFormat", "image"},
                                                                     {"OutputFolder", "/home/ann/Saved"}};
    std::vector<std::string> args = {"set"};
    for (const auto& [name, value] : values) {
        args.push_back(name);
        args.push_back(value);
    }
    const auto set = Parsimo(args);
    ASSERT_EQ(set.status, 0) << set.err;
    for (const auto& [name, value] : values) {
        const auto got = Parsimo({"get", name});
        EXPECT_EQ(got.status, 0) << name;
        EXPECT_EQ(got.out, value + "\n") << name;  // the case a value was given in stays
    }
    // An empty text is a value of its own.
    ASSERT_EQ(Parsimo({"set", "PrintOutFormat", ""}).status, 0);
    EXPECT_EQ(Parsimo({"get", "printoutformat"}).out, "\n");
}

TEST(SettingsCommand, BadPairsChangeNothingAndSayWhatIsAllowed)
{
    CommandWorld world;
    world.Settings({{"SavingsPercentage", Dword(20)}, {"TargetPrinterName", Sz("Office")}});
    const std::string before = world.Hive();
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"set", "SavingsPercentage", "33"}, "allowed values: 0 to 75 in steps of 5"},
        {{"set", "LogLevel", "99999999999"}, "allowed values: 0 to 3"},
        {{"set", "PrintOutFormat", "TIFF"}, "\"\", \"PDF\", \"IMAGE\""},
        {{"set", "TargetPrinterName", "Parsimo"}, "'Parsimo printers' lists"},  // its own queue
        {{"set", "GSVersion", std::string(260, 'v')}, "at most 259 characters"},
        {{"set", "GSVersion", "a\nb"}, "on one line"},
        {{"get", "Colour"}, "unknown setting"},
        // A good pair before a bad one is not stored either.
        {{"set", "LogLevel", "0", "SavingsPercentage", "99"}, "SavingsPercentage \"99\""},
        {{"set", "LogLevel"}, "pairs"},
    };
    for (const auto& [args, message] : cases) {
        const auto r = Parsimo(args);
        EXPECT_EQ(r.status, 2) << args[1];
        EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
    }
    EXPECT_EQ(world.Hive(), before);
    // --force takes a printer that is not there (yet).
    ASSERT_EQ(Parsimo({"set", "TargetPrinterName", "Nowhere", "--force"}).status, 0);
    EXPECT_EQ(Parsimo({"get", "TargetPrinterName"}).out, "Nowhere\n");
}

TEST(SettingsCommand, PrintersVersionAndBadCommands)
{
    CommandWorld world;
    EXPECT_EQ(Parsimo({"printers"}).out, "  Office\n");  // not the product's own queue
    EXPECT_EQ(Parsimo({"--version"}).out,
              std::string("Parsimo ") + PARSIMO_VERSION + "\n");  // not installed: the build's version
    world.Install({});
    EXPECT_EQ(Parsimo({"--version"}).out, "Parsimo 1.0.0\n");
    for (const std::vector<std::string>& bad : {std::vector<std::string>{}, {"frobnicate"}, {"settings", "extra"}})
        EXPECT_EQ(Parsimo(bad).status, 2);
}

// An administrator sets a remote user's settings where the service account's
// jobs of that name read them, as the service account: a link planted in
// that folder (by anything the service account ran) never makes root write
// through it. Only root may; the user is named once.
TEST(SettingsCommand, OtherUsersSettingsAreWrittenAsTheirJobsRun)
{
    CommandWorld world;
    EXPECT_EQ(Parsimo({"set", "SavingsPercentage", "40", "--user"}).status, 2);
    EXPECT_EQ(Parsimo({"set", "--user", "a", "--user", "b", "SavingsPercentage", "40"}).status, 2);
    if (geteuid() != 0) {
        const auto refused = Parsimo({"set", "--user", "jane", "SavingsPercentage", "40"});
        EXPECT_EQ(refused.status, 1);
        EXPECT_NE(refused.err.find("only root"), std::string::npos) << refused.err;
        GTEST_SKIP() << "setting another user's settings needs root";
    }
    UserAccount nobody;
    ASSERT_TRUE(UserAccount::Find("nobody", nobody));
    const fs::path service = world.root / "service";
    fs::create_directories(service);
    fs::permissions(world.root, fs::perms::owner_all | fs::perms::others_exec | fs::perms::group_exec);
    ASSERT_EQ(chown(service.c_str(), nobody.uid, nobody.gid), 0);
    world.Set("PARSIMO_SERVICE_ACCOUNT", "nobody");
    world.Set("PARSIMO_SERVICE_HOME", service.string());

    const auto set = Parsimo({"set", "--user", "CORP\\Jane", "SavingsPercentage", "40"});
    EXPECT_EQ(set.status, 0) << set.err;
    const fs::path hive = service / "jane/.config/tessel/user.reg";
    EXPECT_NE(ReadAll(hive).find("\"SavingsPercentage\"=dword:00000028"), std::string::npos);
    struct stat info { };
    ASSERT_EQ(stat(hive.c_str(), &info), 0);
    EXPECT_EQ(info.st_uid, nobody.uid);
    EXPECT_EQ(Parsimo({"get", "SavingsPercentage", "--user", "jane@corp.example"}).out, "40\n");
    // The administrator's own settings are untouched.
    EXPECT_EQ(world.Hive().find("SavingsPercentage"), std::string::npos);

    // The next name's folder is a link to a folder of root's.
    const fs::path rootOnly = world.root / "root-only";
    fs::create_directories(rootOnly);
    fs::permissions(rootOnly, fs::perms::owner_all);
    fs::create_directory_symlink(rootOnly, service / "bob");
    ASSERT_EQ(lchown((service / "bob").c_str(), nobody.uid, nobody.gid), 0);
    EXPECT_NE(Parsimo({"set", "--user", "bob", "SavingsPercentage", "75"}).status, 0);
    EXPECT_TRUE(fs::is_empty(rootOnly));
}
