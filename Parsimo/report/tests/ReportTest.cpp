#include <cairo.h>

#include <sstream>

#include "CorvelTestSupport.h"
#include "ReportChart.h"
#include "ReportCommand.h"
#include "TestWorld.h"

using namespace corveltest;

// Cairo's text keeps fontconfig's caches for the life of the process, by design.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n";
}

namespace {
struct Output {
    int code = -1;
    std::string out, err;
};

Output Report(std::vector<std::string> words)
{
    std::ostringstream out, err;
    Output result;
    result.code = RunReport(words, out, err);
    result.out = out.str();
    result.err = err.str();
    return result;
}

// Two users over three months (and one job in April), recorded through the library.
class ReportTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Job("ann", "2024-01-15", 10, 30, 0, 10, 1000, 700);
        Job("bob", "2024-01-20", 4, 50, 1, 0, 0, 0);
        Job("ann", "2024-02-10", 20, 20, 0, 0, 0, 0);
        Job("bob", "2024-03-05", 6, 40, 0, 2, 2000, 1200, 2);
        Job("ann", "2024-03-25", 2, 10, 0, 0, 0, 0);
        Job("bob", "2024-04-02", 1, 50, 0, 0, 0, 0);
    }
    void Job(const char* user, const std::string& day, int32_t pages, int32_t savings, int32_t cheque, int32_t detailed,
             int32_t blackBefore, int32_t blackAfter, int32_t copies = 1)
    {
        const int32_t id = SaveJob(db, user, pages, savings, cheque, kPassword, user[0] == 'a' ? "Office" : "Hall");
        ASSERT_GT(id, 0);
        if (copies != 1) {
            ASSERT_EQ(SaveCopies(db, id, copies), id);
        }
        for (int32_t page = 1; page <= detailed; ++page)
            ASSERT_EQ(SavePage(db, id, page, {0, 0, 0, 0, 0, 0, blackBefore, blackAfter}), id);
        ASSERT_TRUE(Exec(db, "UPDATE jobs SET time = '" + day + "T12:00:00Z' WHERE id = " + std::to_string(id)));
    }
    SharedFolder folder;
    const std::string db = folder.Path();
    const std::vector<std::string> firstQuarter = {"--database", db, "--from", "2024-01-01", "--to", "2024-03-31"};
    std::vector<std::string> With(std::vector<std::string> more) const
    {
        more.insert(more.begin(), firstQuarter.begin(), firstQuarter.end());
        return more;
    }
};
}  // namespace

TEST_F(ReportTest, CsvAndJsonGiveTheKnownTotals)
{
    Output r = Report(With({"--format", "csv"}));
    ASSERT_EQ(r.code, 0) << r.err;
    // Sheet sides count the copies the target made; pages count each page once.
    EXPECT_EQ(r.out, "group,jobs,pages,sheet_sides,cheque_jobs,avg_savings_percent,detailed_pages,"
                     "avg_black_before_percent,avg_black_after_percent,toner_saved_ref_pages,"
                     "toner_saved_estimated_ref_pages\n"
                     "2024-01,2,14,14,1,40.0,10,10.00,7.00,8.00,2.00\n"
                     "2024-02,1,20,20,0,20.0,0,,,4.00,4.00\n"
                     "2024-03,2,8,14,0,25.0,2,20.00,12.00,5.00,1.80\n");

    r = Report(With({"--by", "user", "--format=json"}));
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find(" {\"group\": \"bob\", \"jobs\": 2, \"pages\": 10, \"sheet_sides\": 16, \"cheque_jobs\": 1, "
                         "\"avg_savings_percent\": 45.0, \"detailed_pages\": 2, \"avg_black_before_percent\": 20.00, "
                         "\"avg_black_after_percent\": 12.00, \"toner_saved_ref_pages\": 6.80, "
                         "\"toner_saved_estimated_ref_pages\": 3.60}\n]\n"),
              std::string::npos)
        << r.out;

    // Without a period every job counts; --user and --by printer narrow and regroup.
    r = Report({"--database", db, "--format", "csv", "--by", "printer", "--user", "bob"});
    EXPECT_EQ(r.out.substr(r.out.find('\n') + 1), "Hall,3,11,17,1,46.7,2,20.00,12.00,7.30,4.10\n");
    // A print server's jobs by the computer they came from; jobs recorded
    // before computers were, under an empty name.
    ASSERT_TRUE(Exec(db, "UPDATE jobs SET host = 'laptop-7' WHERE user = 'bob'"));
    r = Report(With({"--format", "csv", "--by", "host"}));
    EXPECT_EQ(r.out.substr(r.out.find('\n') + 1),
              ",3,32,32,0,20.0,10,10.00,7.00,10.20,4.20\nlaptop-7,2,10,16,1,45.0,2,20.00,12.00,6.80,3.60\n");
}

TEST_F(ReportTest, NothingBadOptionsAndForeignFiles)
{
    Output r = Report(With({"--user", "carl", "--format", "json"}));
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "[]\n");
    EXPECT_NE(r.err.find("Nothing was printed"), std::string::npos);

    for (const auto& [words, named] : std::vector<std::pair<std::vector<std::string>, std::string>>{
             {{"--from", "2024-02-30"}, "2024-02-30"},
             {{"--from", "2024-03-01", "--to", "2024-02-01"}, "--from 2024-03-01"},
             {{"--format", "xml"}, "xml"},
             {{"--colour"}, "--colour"},
             {{"--user"}, "--user"}}) {
        r = Report(words);
        EXPECT_EQ(r.code, 2) << named;
        EXPECT_NE(r.err.find(named), std::string::npos) << r.err;
    }

    // A missing file is not created; neither is read as a database.
    const std::string missing = folder.Path("none.sdf"), garbage = folder.Path("garbage.sdf");
    std::ofstream(garbage) << "not a database at all";
    for (const std::string& file : {missing, garbage}) {
        r = Report({"--database", file});
        EXPECT_EQ(r.code, 1);
        EXPECT_NE(r.err.find(file), std::string::npos) << r.err;
    }
    EXPECT_FALSE(fs::exists(missing));
}

TEST_F(ReportTest, ChartIsAPngOrSvgOfItsSizeWithBars)
{
    const std::string png = folder.Path("chart.png");
    ASSERT_EQ(Report(With({"--chart", png})).code, 0);
    cairo_surface_t* image = cairo_image_surface_create_from_png(png.c_str());
    EXPECT_EQ(cairo_surface_status(image), CAIRO_STATUS_SUCCESS);
    EXPECT_EQ(cairo_image_surface_get_width(image), ReportChart::Width(3));
    cairo_surface_destroy(image);
    const std::string svg = folder.Path("chart.SVG");
    ASSERT_EQ(Report(With({"--chart", svg, "--by", "user"})).code, 0);
    EXPECT_NE(ReadAll(svg).find("fill:rgb(35%,63%,31%)"), std::string::npos) << "savings bars";
    EXPECT_EQ(Report(With({"--chart", folder.Path("no/such/folder.png")})).code, 1);
}

// Names written by whoever printed: nothing a terminal acts on reaches it,
// JSON stays valid UTF-8, and no CSV field is taken for a formula.
TEST_F(ReportTest, NamesFromTheFileAreShownNeverObeyed)
{
    // eve ESC ]0;owned BEL DEL, C1 CSI, a right-to-left override, bytes that are no UTF-8, ok, e-acute.
    ASSERT_TRUE(Exec(db, "UPDATE jobs SET user = CAST(X'6576651B5D303B6F776E6564077FC29BE280AEFFEDA0806F6BC3A9'"
                         " AS TEXT) WHERE user = 'bob'"));
    for (const char* evil : {"=HYPERLINK(\"http://x\",\"y\")", "+1", "\tx"}) ASSERT_GT(SaveJob(db, evil, 1, 10), 0);
    ASSERT_TRUE(Exec(db, "UPDATE jobs SET time = '2024-02-01T12:00:00Z' WHERE id > 6"));
    const auto printable = [](const std::string& text) {
        return std::all_of(text.begin(), text.end(), [](char c) {
            const auto byte = static_cast<unsigned char>(c);
            return (byte >= 0x20 && byte != 0x7F) || byte == '\n';
        });
    };

    const std::vector<std::pair<std::string, std::vector<std::string>>> shown = {
        {"table", {"eve\\x1b]0;owned\\x07\\x7f\\xc2\\x9b\\xe2\\x80\\xae\\xff\\xed\\xa0\\x80ok\xc3\xa9"}},
        {"json", {"\"eve\\u001b]0;owned\\u0007\\u007f\\u009b\\u202e\\ufffd\\ufffd\\ufffd\\ufffdok\xc3\xa9\""}},
        {"csv", {"\n\"'=HYPERLINK(\"\"http://x\"\",\"\"y\"\")\",", "\n'+1,", "\n\\x09x,"}}};
    for (const auto& [format, fields] : shown) {
        const Output r = Report(With({"--by", "user", "--format", format}));
        EXPECT_TRUE(printable(r.out)) << r.out;
        for (const std::string& field : fields)
            EXPECT_NE(r.out.find(field), std::string::npos) << field << " in\n" << r.out;
    }

    // The chart draws every name, long ones cut between characters.
    ASSERT_TRUE(
        Exec(db, "UPDATE jobs SET user = '" + std::string(12, 'x') + "' || char(233, 233, 233) WHERE user = '+1'"));
    const std::string png = folder.Path("names.png");
    const Output r = Report(With({"--by", "user", "--chart", png}));
    EXPECT_EQ(r.code, 0) << r.err;
    cairo_surface_t* image = cairo_image_surface_create_from_png(png.c_str());
    EXPECT_EQ(cairo_surface_status(image), CAIRO_STATUS_SUCCESS);
    cairo_surface_destroy(image);
}

// One crafted row of 2^63 - 1 pages: the sums hold at the limit and the
// report still comes out, marked where a figure reached it.
TEST_F(ReportTest, SumsHoldAtTheirLimit)
{
    ASSERT_TRUE(Exec(db, "UPDATE jobs SET pages = 9223372036854775807 WHERE user = 'ann'"));
    Output r = Report(With({"--by", "user", "--format", "csv"}));
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("\nann,3,9223372036854775807,9223372036854775807,0,20.0,"), std::string::npos) << r.out;
    r = Report(With({"--by", "user"}));
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("Total     5  9223372036854775807+"), std::string::npos) << r.out;
}

// Views in place of the tables (one that never ends) are refused at once.
TEST_F(ReportTest, OnlyRealTablesAreRead)
{
    ASSERT_TRUE(Exec(db, "ALTER TABLE jobs RENAME TO old_jobs;"
                         "CREATE VIEW jobs AS WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n)"
                         " SELECT i AS id, '2024-01-01T00:00:00Z' AS time, 'x' AS user, 'p' AS printer, '' AS format,"
                         " 1 AS pages, 1 AS savings, 0 AS cheque FROM n;"));
    EXPECT_EQ(Bounded([&] {
                  const Output r = Report({"--database", db});
                  return r.code == 1 && r.err.find("tables") != std::string::npos ? 0 : 1;
              }),
              0);
}

// Without --database: root and lpadmin read everyone's jobs, others their own;
// nothing is created when neither database is there.
TEST(ReportDefault, AdministratorsReadEveryonesOthersTheirOwn)
{
    testworld::World world;
    world.Install({});
    const fs::path common = world.root / "common/QMVK/Parsimo/Parsimo.sdf";
    const fs::path own = world.root / "user/QMVK/Parsimo/Parsimo.sdf";
    Output r = Report({});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find(common.string() + " does not exist"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(world.root / "common/QMVK") || fs::exists(world.root / "user/QMVK"));

    fs::create_directories(common.parent_path());
    fs::create_directories(own.parent_path());
    ASSERT_GT(SaveJob(common.string(), "everyone"), 0);
    ASSERT_GT(SaveJob(own.string(), "mine"), 0);
    // The user's own database is theirs (root made it here: root's are 0640).
    if (geteuid() == 0) {
        ASSERT_EQ(chown(own.c_str(), kUserA, kUserA), 0);
        ASSERT_EQ(chown((own.string() + "-journal").c_str(), kUserA, kUserA), 0);
    }
    const auto reads = [](const char* name) {
        return [name] {
            const Output result = Report({"--by", "user", "--format", "csv"});
            return result.out.find(std::string("\n") + name + ",") != std::string::npos ? 0 : 1;
        };
    };
    EXPECT_EQ(reads("everyone")(), 0) << "root";
    if (geteuid() != 0) GTEST_SKIP() << "needs root to act as other users";
    EXPECT_EQ(RunAs(kUserA, reads("mine")), 0) << "a user";
    const group* administrators = getgrnam("lpadmin");
    if (administrators == nullptr) GTEST_SKIP() << "no group lpadmin";
    EXPECT_EQ(RunAs(kUserA, reads("everyone"), {administrators->gr_gid}), 0) << "a printing administrator";
}

// A database from before copies were kept is read as it is, each job once.
TEST(ReportOlderDatabase, CountsEachJobOnce)
{
    SharedFolder folder;
    const std::string db = folder.Path();
    ASSERT_TRUE(MakeFirstSchema(db));
    const Output r = Report({"--database", db, "--format", "csv", "--by", "user"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out.substr(r.out.find('\n') + 1).rfind("ann,1,4,4,0,30.0,", 0), 0u) << r.out;
    EXPECT_EQ(Query(db, "PRAGMA user_version"), "1");
}
