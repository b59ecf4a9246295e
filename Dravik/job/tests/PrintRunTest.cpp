// Pages printed through the real program onto a target: what reaches paper, pixel for pixel.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <optional>
#include <thread>

#include "JobExit.h"
#include "Printers.h"

using namespace testworld;

namespace {
// The size of every page, "612 x 792" for Letter, as pdfinfo reports it.
std::vector<std::string> PageSizes(const fs::path& pdf)
{
    std::istringstream info(World::Run({"/usr/bin/pdfinfo", "-f", "1", "-l", "9999", pdf.string()}).out);
    std::vector<std::string> sizes;
    for (std::string line; std::getline(info, line);)
        if (line.rfind("Page ", 0) == 0 && line.find(" size:") != std::string::npos) {
            const size_t from = line.find_first_not_of(' ', line.find(" size:") + 6);
            sizes.push_back(line.substr(from, line.find(" pts") - from));
        }
    return sizes;
}

// Pixels of the black box whose colour differs from what the 30 % mask gives
// (rows 01101 / 11011 / 10110 / 11011, anchored at the first stored row, the
// bottom row 3299, and the left column). The page's printable area, from
// (50, 50) to (2500, 3250) at 300 dpi, fills the target's printable area of
// width x height device pixels at (left, top) nearest-neighbour.
int MaskMismatches(const Gray& page, int left, int top, int width, int height, int rowStep)
{
    const char* mask[4] = {"01101", "11011", "10110", "11011"};
    int mismatches = 0;
    for (int y = 1500; y < 2900; y += rowStep)
        for (int x = 900; x < 4200; ++x) {
            const int64_t dx = x - left, dy = y - top;
            const int bx = 50 + static_cast<int>((2 * dx + 1) * 2450 / (2 * width));
            const int by = 50 + static_cast<int>((2 * dy + 1) * 3200 / (2 * height));
            const int storageRow = 3299 - by;
            mismatches += (mask[storageRow % 4][bx % 5] == '0') != (page.At(x, y) > 127);
        }
    return mismatches;
}

// Prints one job and gives the page sizes of the one document it made, which is removed.
std::vector<std::string> PrintOne(World& world, const std::string& job)
{
    const RunResult r = World::Dravik({world.Job(job)});
    EXPECT_EQ(r.status, 0) << r.err;
    const auto files = PrintedFiles(world);
    if (files.size() != 1) {
        ADD_FAILURE() << files.size() << " documents printed";
        return {};
    }
    std::vector<std::string> sizes = PageSizes(files[0]);
    fs::remove(files[0]);
    return sizes;
}

const char* kFiveBlackPages = "1 1 5 { pop 0 setgray 72 420 468 220 rectfill showpage } for\n";

// A target queue of the test's own on the test scheduler, writing to `file`
// beside the scheduler's own output (parallel tests never share it), named in
// the world's settings; its output path, or nothing when there is no scheduler.
std::optional<fs::path> AddTargetQueue(World& world, const std::string& queue, const std::string& file,
                                       const std::vector<std::string>& extra = {})
{
    const char* server = std::getenv("CUPS_SERVER");
    const char* schedulerOutput = std::getenv("PARSIMO_CUPS_OUTPUT");
    if (!server || !schedulerOutput) return std::nullopt;
    const fs::path output = fs::path(schedulerOutput).parent_path() / file;
    fs::remove(output);
    std::vector<std::string> command = {"/usr/sbin/lpadmin",
                                        "-h",
                                        server,
                                        "-p",
                                        queue,
                                        "-E",
                                        "-v",
                                        "file://" + output.string(),
                                        "-P",
                                        std::string(PARSIMO_SOURCE_DIR) + "/packaging/ParsimoTarget.ppd"};
    command.insert(command.end(), extra.begin(), extra.end());
    if (World::Run(command).status != 0) return std::nullopt;
    World::Run({"/usr/sbin/cupsenable", "-h", server, queue});
    World::Run({"/usr/sbin/cupsaccept", "-h", server, queue});
    AddPrinters(world, {"Parsimo"});
    World::Values settings = PrintSettings(30);
    settings.back() = {"TargetPrinterName", Sz(queue)};
    world.Install(settings);
    return output;
}

void RemoveQueue(const std::string& queue)
{
    World::Run({"/usr/sbin/lpadmin", "-h", std::getenv("CUPS_SERVER"), "-x", queue});
}

const char* kNoScheduler = "no test scheduler: run eval \"$(packaging/cups-test-setup.sh start)\" first";
}  // namespace

TEST(PrintRun, FiveLetterPagesAtThirtyPercentKeepTheMaskOnPaper)
{
    World world;
    AddPrinters(world);
    world.Install(PrintSettings(30));
    const RunResult r = World::Dravik({world.Job(kFiveBlackPages)});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto files = PrintedFiles(world);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(PageSizes(files[0]), std::vector<std::string>(5, "612 x 792"));
    EXPECT_TRUE(NamesIn(world.DataDir(), "_dk_").empty());
    // The target prints at 600 dpi from a 300-dpi page: each page pixel is a
    // 2 x 2 block, and the printable area starts 12 pt (100 pixels) in.
    const Gray page = Rasterize(files[0], 3, 600, world.root);
    ASSERT_EQ(page.width, 5100);
    ASSERT_EQ(page.height, 6600);
    EXPECT_EQ(MaskMismatches(page, 100, 100, 4900, 6400, 3), 0);
}

TEST(PrintRun, PaperFollowsTheJob)
{
    World world;
    AddPrinters(world);
    const std::string a4 = "<< /PageSize [595 842] >> setpagedevice ";
    const std::string box = "0 setgray 72 72 100 100 rectfill showpage\n";
    using Sizes = std::vector<std::string>;
    const struct {
        World::Values job;
        std::string pages;
        Sizes sizes;
    } cases[] = {
        {{{"PaperSize", Dword(9)}}, a4 + box, {"595 x 842"}},
        // A cheque on Letter goes on Legal.
        {{{"PaperSize", Dword(1)}, {"PrintDocumentName", Sz("Check Document")}}, box, {"612 x 1008"}},
        // A custom paper size is fitted from the first page.
        {{{"PaperSize", Dword(256)}}, a4 + box + box, Sizes(2, "595 x 842")},
        // A landscape job turns the print area; the paper stays the job's.
        {{{"Orientation", Dword(2)}, {"PaperSize", Dword(1)}},
         "<< /PageSize [792 612] >> setpagedevice " + box,
         {"612 x 792"}},
        // Letter, A4 and Legal pages in one job: every page whole, in one document.
        {{{"PaperSize", Dword(1)}},
         box + a4 + box + "<< /PageSize [612 1008] >> setpagedevice " + box,
         Sizes(3, "612 x 792")},
    };
    for (const auto& c : cases) {
        world.Install(PrintSettings(50));
        world.Settings(PrintSettings(50), c.job);
        EXPECT_EQ(PrintOne(world, c.pages), c.sizes) << c.pages;
    }
}

// A Tabloid page on Letter paper: the whole page, scaled down keeping its
// proportions (a square stays square), never its top-left part alone.
TEST(PrintRun, APageLargerThanThePaperIsFittedWhole)
{
    World world;
    AddPrinters(world);
    world.Install(PrintSettings(5));
    world.Settings(PrintSettings(5), {{"PaperSize", Dword(1)}});
    const RunResult r = World::Dravik(
        {world.Job("<< /PageSize [792 1224] >> setpagedevice 0 setgray 640 1070 100 100 rectfill showpage\n")});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto files = PrintedFiles(world);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(PageSizes(files[0]), std::vector<std::string>{"612 x 792"});
    // The box, near the Tabloid page's top-right corner, in ink on the Letter page.
    const Gray page = Rasterize(files[0], 1, 150, world.root);
    int left = page.width, right = -1, top = page.height, bottom = -1;
    for (int y = 0; y < page.height; ++y)
        for (int x = 0; x < page.width; ++x)
            if (page.At(x, y) < 128) {
                left = std::min(left, x), right = std::max(right, x);
                top = std::min(top, y), bottom = std::max(bottom, y);
            }
    ASSERT_GE(right, 0) << "no ink printed";
    EXPECT_GT(left, page.width / 2);
    EXPECT_LT(bottom, page.height / 4);
    EXPECT_NEAR(right - left, bottom - top, 3);
}

TEST(PrintRun, TwoJobsOfOneUserAtOnceBothPrintWhole)
{
    World world;
    AddPrinters(world);
    world.Install(PrintSettings(30));
    const std::string job = world.Job(kFiveBlackPages);
    RunResult first, second;
    std::thread other([&] { first = World::Dravik({job}); });
    second = World::Dravik({job});
    other.join();
    EXPECT_EQ(first.status, 0) << first.err;
    EXPECT_EQ(second.status, 0) << second.err;
    const auto files = PrintedFiles(world);
    ASSERT_EQ(files.size(), 2u);
    for (const auto& file : files) EXPECT_EQ(PageSizes(file).size(), 5u) << file;
}

TEST(PrintRun, AMissingTargetFailsTheJob)
{
    World world;
    AddPrinters(world, {"Parsimo"});
    world.Install(PrintSettings(30));
    const RunResult r = World::Dravik({world.Job(kFiveBlackPages)});
    EXPECT_EQ(r.status, 255);
    EXPECT_NE(r.err.find("Could not open the target printer (Target)!"), std::string::npos) << r.err;
}

TEST(PrintRun, ThroughTheCupsScheduler)
{
    World world;
    const std::string queue = "DravikTarget" + std::to_string(getpid());
    const std::optional<fs::path> output = AddTargetQueue(world, queue, queue + ".pdf");
    if (!output) GTEST_SKIP() << kNoScheduler;
    const RunResult r = World::Dravik({world.Job(kFiveBlackPages)});
    EXPECT_EQ(r.status, 0) << r.err;
    // The scheduler finishes the job on its own time.
    for (int i = 0; i < 300 && ReadAll(*output).find("%%EOF") == std::string::npos; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    RemoveQueue(queue);
    ASSERT_NE(ReadAll(*output).find("%%EOF"), std::string::npos) << "no document reached " << *output;
    EXPECT_EQ(PageSizes(*output), std::vector<std::string>(5, "612 x 792"));
    // This queue's printable area is 576 x 720 pt from (18, 36): the page is
    // stretched by uneven factors, and every device pixel still takes the
    // colour of its nearest page pixel.
    const Gray page = Rasterize(*output, 2, 600, world.root);
    EXPECT_EQ(MaskMismatches(page, 150, 300, 4800, 6000, 7), 0);
    fs::remove(*output);
}

// A target whose spooler takes the document and then fails it (its backend
// cannot write where it should, and the queue aborts such a job): the job
// fails naming the target, and nothing of it is counted.
TEST(PrintRun, AJobTheTargetsSpoolerFailsIsNotCounted)
{
    World world;
    const std::string queue = "DravikBroken" + std::to_string(getpid());
    if (!AddTargetQueue(world, queue, "missing/" + queue + ".pdf", {"-o", "printer-error-policy=abort-job"}))
        GTEST_SKIP() << kNoScheduler;
    const RunResult r = World::Dravik({world.Job(kFiveBlackPages)});
    RemoveQueue(queue);
    EXPECT_EQ(r.status, kExitTryLater);
    EXPECT_NE(r.err.find("could not be printed on the printer " + queue), std::string::npos) << r.err;
    // No statistics: their library (not installed here) was never looked for.
    EXPECT_EQ(ReadAll(world.UserLog()).find("not found!"), std::string::npos);
}
