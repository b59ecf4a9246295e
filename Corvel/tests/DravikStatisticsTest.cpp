// The real job processor records its jobs through the real library.
#include <memory>

#include "AppEnvironment.h"
#include "BitmapProcessing.h"
#include "CorvelTestSupport.h"
#include "Dib.h"
#include "TestWorld.h"

using corveltest::Query;
using testworld::Dword;
using testworld::Sz;
using testworld::World;
namespace fs = std::filesystem;

namespace {
const char* kThreePages = "1 1 3 { 0 setgray 72 exch 100 mul 72 add 200 80 rectfill showpage } for\n";

World::Values Settings(int advanced, const char* format = "")
{
    return {{"ShowDialog", Dword(0)},
            {"SavingsPercentage", Dword(30)},
            {"PrinterName", Sz("Parsimo")},
            {"TargetPrinterName", Sz("Target")},
            {"AdvUsageStat", Dword(static_cast<uint32_t>(advanced))},
            {"PrintOutFormat", Sz(format)}};
}

// An installation with the real library, and the two printers.
std::string Prepare(World& world)
{
    for (const char* name : {"Parsimo", "Target"})
        fs::copy_file(fs::path(PARSIMO_SOURCE_DIR) / "packaging/printers/Office.ppd",
                      world.root / "printers" / (std::string(name) + ".ppd"));
    fs::copy_file(CORVEL_LIBRARY, world.root / "install/libCorvel.so");
    // Run by hand, the job is the user's own: it goes into their own database.
    return (world.root / "user/QMVK/Parsimo/Parsimo.sdf").string();
}
}  // namespace

TEST(DravikStatistics, PrintedJobWithDetailsGivesOneJobAndItsPages)
{
    World world;
    const std::string db = Prepare(world);
    world.Install(Settings(1));
    const std::string job = world.Job(kThreePages);
    auto r = World::Dravik({job});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Query(db, "SELECT printer || ',' || format || ',' || pages || ',' || savings || ',' || cheque FROM jobs"),
              "Target,,3,30,0");
    const std::string recorded =
        Query(db, "SELECT page || ':' || black_before || '/' || black_after FROM pages ORDER BY page");

    // The filter's own figures for the same pages, which -file saves in the output folder.
    r = World::Dravik({"-file", job});
    ASSERT_EQ(r.status, 0) << r.err;
    AppEnvironment env{AppEnvironment::DefaultsOnly{}};
    env.SavingsPercentage = 30;
    env.AdvUsageStat = 1;
    std::string expected;
    for (int page = 1; page <= 3; ++page) {
        const std::string name = "Document page " + std::to_string(page) + ".bmp";
        std::unique_ptr<DibSectionObject, DibDeleter> bitmap(LoadBitmapFile((world.OutputDir() / name).c_str()));
        ASSERT_TRUE(bitmap) << name;
        std::unique_ptr<UsageDetails, decltype(&std::free)> details(ProcessBitmap(bitmap.get(), &env, 300, 0),
                                                                    &std::free);
        ASSERT_TRUE(details);
        expected += (page > 1 ? "|" : "") + std::to_string(page) + ":" + std::to_string(details->BlackBefore) + "/" +
                    std::to_string(details->BlackAfter);
    }
    EXPECT_EQ(recorded, expected);
}

TEST(DravikStatistics, WithoutDetailsPdfAndEmptyJobs)
{
    World world;
    const std::string db = Prepare(world);
    world.Install(Settings(0));
    ASSERT_EQ(World::Dravik({world.Job(kThreePages)}).status, 0);
    EXPECT_EQ(Query(db, "SELECT pages FROM jobs") + "/" + Query(db, "SELECT count(*) FROM pages"), "3/0");

    // A PDF job counts the spooler's pages, TotalPages - PagesPrinted, and never details.
    world.Settings(Settings(1, "PDF"), {{"TotalPages", Dword(7)}, {"PagesPrinted", Dword(2)}});
    ASSERT_EQ(World::Dravik({world.Job(kThreePages)}).status, 0);
    EXPECT_EQ(Query(db, "SELECT format || ':' || pages FROM jobs ORDER BY id"), ":3|PDF:5");
    EXPECT_EQ(Query(db, "SELECT count(*) FROM pages"), "0");

    // No printed page (an empty job fails): the library is never loaded, nothing is recorded.
    fs::remove(world.root / "install/libCorvel.so");
    world.Settings(Settings(1));
    ASSERT_EQ(World::Dravik({world.Job("")}).status, 255);
    EXPECT_EQ(testworld::ReadAll(world.UserLog()).find("libCorvel.so not found"), std::string::npos);
    EXPECT_EQ(Query(db, "SELECT count(*) FROM jobs"), "2");
}
