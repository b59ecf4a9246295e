#include <cairo.h>

#include <set>
#include <sstream>

#include "CorvelTestSupport.h"
#include "ReportChart.h"
#include "ReportCommand.h"

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
        Job("bob", "2024-03-05", 6, 40, 0, 2, 2000, 1200);
        Job("ann", "2024-03-25", 2, 10, 0, 0, 0, 0);
        Job("bob", "2024-04-02", 1, 50, 0, 0, 0, 0);
    }
    void Job(const char* user, const std::string& day, int32_t pages, int32_t savings, int32_t cheque, int32_t detailed,
             int32_t blackBefore, int32_t blackAfter)
    {
        const int32_t id = SaveJob(db, user, pages, savings, cheque, kPassword, user[0] == 'a' ? "Office" : "Hall");
        ASSERT_GT(id, 0);
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
    EXPECT_EQ(r.out, "group,jobs,pages,cheque_jobs,avg_savings_percent,detailed_pages,avg_black_before_percent,"
                     "avg_black_after_percent,toner_saved_ref_pages,toner_saved_estimated_ref_pages\n"
                     "2024-01,2,14,1,40.0,10,10.00,7.00,8.00,2.00\n"
                     "2024-02,1,20,0,20.0,0,,,4.00,4.00\n"
                     "2024-03,2,8,0,25.0,2,20.00,12.00,5.00,1.80\n");

    r = Report(With({"--by", "user", "--format=json"}));
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out,
              "[\n"
              " {\"group\": \"ann\", \"jobs\": 3, \"pages\": 32, \"cheque_jobs\": 0, \"avg_savings_percent\": 20.0,"
              " \"detailed_pages\": 10, \"avg_black_before_percent\": 10.00, \"avg_black_after_percent\": 7.00,"
              " \"toner_saved_ref_pages\": 10.20, \"toner_saved_estimated_ref_pages\": 4.20},\n"
              " {\"group\": \"bob\", \"jobs\": 2, \"pages\": 10, \"cheque_jobs\": 1, \"avg_savings_percent\": 45.0,"
              " \"detailed_pages\": 2, \"avg_black_before_percent\": 20.00, \"avg_black_after_percent\": 12.00,"
              " \"toner_saved_ref_pages\": 6.80, \"toner_saved_estimated_ref_pages\": 3.60}\n"
              "]\n");

    // Without a period every job counts; --user and --by printer narrow and regroup.
    r = Report({"--database", db, "--format", "csv", "--by", "printer", "--user", "bob"});
    EXPECT_EQ(r.out.substr(r.out.find('\n') + 1), "Hall,3,11,1,46.7,2,20.00,12.00,7.30,4.10\n");
    r = Report(With({"--format", "csv", "--by", "day", "--from", "2024-03-25"}));
    EXPECT_EQ(r.out.substr(r.out.find('\n') + 1), "2024-03-25,1,2,0,10.0,0,,,0.20,0.20\n");
}

TEST_F(ReportTest, TableNamesThePeriodAndMarksEstimates)
{
    const Output r = Report(firstQuarter);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out.rfind("Pages printed and toner saved by month, 2024-01-01 to 2024-03-31\n", 0), 0u) << r.out;
    EXPECT_NE(
        r.out.find("2024-02     1     20            0           20.0               -              -        4.00*"),
        std::string::npos)
        << r.out;
    EXPECT_NE(
        r.out.find("Total       5     42            1           30.0            11.7            7.8       17.00*"),
        std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("* includes estimates"), std::string::npos);
    // Without a period the table names the days that hold jobs.
    EXPECT_NE(Report({"--database", db}).out.find("by month, 2024-01-15 to 2024-04-02\n"), std::string::npos);
}

TEST_F(ReportTest, NothingBadOptionsAndForeignFiles)
{
    Output r = Report(With({"--user", "carl"}));
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "Nothing was printed in the period 2024-01-01 to 2024-03-31 by carl.\n");
    r = Report(With({"--user", "carl", "--format", "json"}));
    EXPECT_EQ(r.out, "[]\n");
    EXPECT_NE(r.err.find("Nothing was printed"), std::string::npos);

    for (const auto& [words, named] : std::vector<std::pair<std::vector<std::string>, std::string>>{
             {{"--from", "2024-02-30"}, "2024-02-30"},
             {{"--to", "24-01-01"}, "24-01-01"},
             {{"--from", "2024-03-01", "--to", "2024-02-01"}, "--from 2024-03-01"},
             {{"--by", "week"}, "week"},
             {{"--format", "xml"}, "xml"},
             {{"--chart", "out.gif"}, "out.gif"},
             {{"--colour"}, "--colour"},
             {{"--user"}, "--user"}}) {
        r = Report(words);
        EXPECT_EQ(r.code, 2) << named;
        EXPECT_NE(r.err.find(named), std::string::npos) << r.err;
    }

    const std::string missing = folder.Path("none.sdf");
    r = Report({"--database", missing});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find(missing), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(missing));
    const std::string garbage = folder.Path("garbage.sdf");
    std::ofstream(garbage) << "not a database at all";
    r = Report({"--database", garbage});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find(garbage), std::string::npos) << r.err;
}

TEST_F(ReportTest, ChartIsAPngOrSvgOfItsSizeWithBars)
{
    const std::string png = folder.Path("chart.png");
    ASSERT_EQ(Report(With({"--chart", png})).code, 0);
    cairo_surface_t* image = cairo_image_surface_create_from_png(png.c_str());
    ASSERT_EQ(cairo_surface_status(image), CAIRO_STATUS_SUCCESS);
    const int width = cairo_image_surface_get_width(image), height = cairo_image_surface_get_height(image);
    EXPECT_EQ(width, ReportChart::Width(3));
    EXPECT_EQ(height, ReportChart::kHeight);
    // Both bar colours and text are there, and most of the page is white.
    std::set<uint32_t> colours;
    int64_t white = 0;
    const unsigned char* data = cairo_image_surface_get_data(image);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint32_t pixel;
            std::memcpy(&pixel, data + y * cairo_image_surface_get_stride(image) + x * 4, 4);
            pixel &= 0xFFFFFF;
            colours.insert(pixel);
            white += pixel == 0xFFFFFF;
        }
    cairo_surface_destroy(image);
    EXPECT_TRUE(colours.count(0x4570AB)) << "pages bars";
    EXPECT_TRUE(colours.count(0x59A14F)) << "savings bars";
    EXPECT_GT(colours.size(), 20u) << "anti-aliased text";
    EXPECT_GT(white, int64_t(width) * height / 2);

    const std::string svg = folder.Path("chart.SVG");
    ASSERT_EQ(Report(With({"--chart", svg, "--by", "user"})).code, 0);
    const std::string text = ReadFile(svg);
    EXPECT_EQ(text.rfind("<?xml", 0), 0u);
    EXPECT_NE(text.find("width=\"" + std::to_string(ReportChart::Width(2)) + "pt\" height=\"540pt\""),
              std::string::npos)
        << text.substr(0, 300);
    EXPECT_NE(text.find("fill:rgb(35%,63%,31%)"), std::string::npos) << "savings bars";
    EXPECT_NE(text.rfind("</svg>"), std::string::npos);

    EXPECT_EQ(Report(With({"--chart", folder.Path("no/such/folder.png")})).code, 1);
}
