// The real job processor records its jobs through the real library.
#include "CorvelTestSupport.h"
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

// Each printed job is one row, with its pages when details are asked for; a
// PDF job counts the spooler's pages (TotalPages - PagesPrinted) and never
// details; a job that printed nothing never loads the library.
TEST(DravikStatistics, EachPrintedJobOnceWithItsPagesWhenAskedFor)
{
    World world;
    const std::string db = Prepare(world);
    world.Install(Settings(1));
    ASSERT_EQ(World::Dravik({world.Job(kThreePages)}).status, 0);
    EXPECT_EQ(Query(db, "SELECT printer || ',' || format || ',' || pages || ',' || savings || ',' || cheque FROM jobs"),
              "Target,,3,30,0");
    // Each page once, in order, with less black after the saving than before.
    EXPECT_EQ(Query(db, "SELECT group_concat(page) FROM (SELECT page FROM pages WHERE black_after BETWEEN 1 AND"
                        " black_before - 1 ORDER BY page)"),
              "1,2,3");

    world.Settings(Settings(0));
    ASSERT_EQ(World::Dravik({world.Job(kThreePages)}).status, 0);
    world.Settings(Settings(1, "PDF"), {{"TotalPages", Dword(7)}, {"PagesPrinted", Dword(2)}});
    ASSERT_EQ(World::Dravik({world.Job(kThreePages)}).status, 0);
    EXPECT_EQ(Query(db, "SELECT format || ':' || pages FROM jobs ORDER BY id"), ":3|:3|PDF:5");
    EXPECT_EQ(Query(db, "SELECT count(*) FROM pages"), "3");

    fs::remove(world.root / "install/libCorvel.so");
    world.Settings(Settings(1));
    ASSERT_EQ(World::Dravik({world.Job("")}).status, 255);
    EXPECT_EQ(testworld::ReadAll(world.UserLog()).find("libCorvel.so not found"), std::string::npos);
}
