#include <algorithm>
#include <filesystem>
#include <iterator>
#include <vector>

#include "PageFiles.h"
#include "PageReader.h"
#include "PageStream.h"
#include "Pipe.h"
#include "Process.h"
#include "TestJobs.h"

namespace {

// Keeps every page in memory and records how each ended. With `moves` it
// takes page bytes straight from the pipe, as the page files do; the move
// into page failMoveAt fails.
class MemorySink : public PageSink {
public:
    bool OpenPage(int32_t number) override
    {
        EXPECT_FALSE(open);
        numbers.push_back(number);
        pages.emplace_back();
        return open = true;
    }
    bool WritePage(const uint8_t* data, size_t size) override
    {
        EXPECT_TRUE(open);
        pages.back().append(reinterpret_cast<const char*>(data), size);
        return true;
    }
    long MovePage(int pipe, size_t size) override
    {
        EXPECT_TRUE(open);
        if (!moves) return kNotMoved;
        if (numbers.back() == failMoveAt) return -1;
        std::string bytes(size, '\0');
        const long got = Pipe::Read(pipe, bytes.data(), size);
        if (got > 0) pages.back().append(bytes, 0, size_t(got));
        return got;
    }
    bool ClosePage(bool complete) override
    {
        EXPECT_TRUE(open);
        open = false;
        (complete ? completed : dropped)++;
        return true;
    }
    bool open = false;
    bool moves = false;
    int32_t failMoveAt = -1;
    std::vector<int32_t> numbers;
    std::vector<std::string> pages;
    int completed = 0;
    int dropped = 0;
};

std::string Joined(const std::vector<std::string>& pages)
{
    std::string all;
    for (const auto& page : pages) all += page;
    return all;
}

// Pushes the stream in chunks of the given size; false once Push refuses.
bool PushAll(PageStream& stream, const std::string& bytes, size_t chunk)
{
    for (size_t at = 0; at < bytes.size(); at += chunk)
        if (!stream.Push(reinterpret_cast<const uint8_t*>(bytes.data()) + at, std::min(chunk, bytes.size() - at)))
            return false;
    return true;
}

}  // namespace

TEST(PageStream, PagesOfDifferentSizesComeOutWholeWhateverTheChunking)
{
    const std::vector<std::string> sent = {FakeBmpPage(9000, 'a'), FakeBmpPage(54, 'b'), FakeBmpPage(4096, 'c'),
                                           FakeBmpPage(100, 'd'), FakeBmpPage(12000, 'e')};
    const std::string all = Joined(sent);
    // 1 and 13 split headers; 9000 ends exactly at page 1's end; the whole
    // stream in one chunk holds several pages.
    for (size_t chunk : {size_t(1), size_t(13), size_t(4096), size_t(9000), all.size()}) {
        SCOPED_TRACE(chunk);
        MemorySink sink;
        PageStream stream(sink, true);
        ASSERT_TRUE(PushAll(stream, all, chunk));
        EXPECT_EQ(sink.completed, 5) << "each page is handed on as soon as its last byte arrives";
        ASSERT_TRUE(stream.Finish());
        EXPECT_EQ(sink.pages, sent);
        EXPECT_EQ(sink.numbers, (std::vector<int32_t>{1, 2, 3, 4, 5}));
    }
}

TEST(PageStream, BadHeaderEndsTheStreamAtPageOneOrThree)
{
    std::vector<std::string> bad(4, FakeBmpPage(200, 'z'));
    bad[0][0] = 'P';                       // not "BM"
    bad[1][2] = 20;                        // shorter than its headers
    bad[2][5] = char(0x7f);                // far longer than any page
    bad[3][10] = bad[3][11] = char(0xff);  // pixels beyond the page's end
    for (size_t kind = 0; kind < bad.size(); ++kind)
        for (const std::string& before : {std::string(), FakeBmpPage(3000, 'a') + FakeBmpPage(2000, 'b')}) {
            SCOPED_TRACE(testing::Message() << "kind " << kind << " after " << before.size() << " bytes");
            MemorySink sink;
            PageStream stream(sink, true);
            EXPECT_FALSE(PushAll(stream, before + bad[kind] + FakeBmpPage(300, 'y'), 4096));
            EXPECT_FALSE(stream.Push(reinterpret_cast<const uint8_t*>("BM"), 2)) << "a failed stream takes nothing";
            EXPECT_EQ(sink.numbers.size(), before.empty() ? 0u : 2u);
            EXPECT_EQ(sink.completed, int(sink.numbers.size()));
        }
}

// The end completes only whole pages: a BMP stream cut inside a header
// fails; any other stream is one page that only the end completes.
TEST(PageStream, EndOfStreamCompletesOnlyWholePages)
{
    MemorySink inHeader;
    PageStream headerCut(inHeader, true);
    ASSERT_TRUE(PushAll(headerCut, FakeBmpPage(100, 'a') + "BM\x10", 4096));
    EXPECT_FALSE(headerCut.Finish());

    MemorySink sink;
    PageStream stream(sink, false);
    const std::string pdf = "%PDF-1.4\n" + std::string(10000, 'q');
    ASSERT_TRUE(PushAll(stream, pdf, 4096));
    EXPECT_EQ(sink.completed, 0);
    ASSERT_TRUE(stream.Finish());
    EXPECT_EQ(sink.pages, std::vector<std::string>{pdf});
}

namespace {
// Streams the bytes through `cat` into a PageReader feeding the sink.
int32_t ReadThroughPipe(const std::string& folder, const std::string& bytes, PageSink& sink)
{
    WriteWholeFile(folder + "stream.bin", bytes);
    Process cat;
    EXPECT_TRUE(cat.CreateChildProcess(("cat \"" + folder + "stream.bin\"").c_str(), false, 2, false));
    CloseHandle(cat.m_hChildStdoutWr);
    PageStream stream(sink, true);
    const int32_t result = PageReader(cat.m_hChildStdoutRdDup, stream).Run();
    cat.Wait();
    return result;
}
}  // namespace

// Page bodies are moved from the pipe and only headers read: pages larger
// than the pipe and pages smaller than a header's read must still come out
// byte for byte, and so must they where the sink cannot move.
TEST(PageReader, PipedPagesComeOutWholeWhetherMovedOrCopied)
{
    const std::string folder = FreshFolder("piped-sizes");
    const std::vector<std::string> sent = {FakeBmpPage(3000000, 'a'), FakeBmpPage(54, 'b'), FakeBmpPage(70000, 'c'),
                                           FakeBmpPage(55, 'd'), FakeBmpPage(65536, 'e')};
    const std::string all = Joined(sent);
    for (const bool moves : {true, false}) {
        SCOPED_TRACE(moves);
        MemorySink sink;
        sink.moves = moves;
        EXPECT_EQ(ReadThroughPipe(folder, all, sink), 0);
        EXPECT_TRUE(sink.pages == sent);
        EXPECT_EQ(sink.completed, 5);
    }
}

TEST(PageReader, AFailedMoveDropsThePageAndDrainsTheRest)
{
    const std::string folder = FreshFolder("piped-failed-move");
    MemorySink sink;
    sink.moves = true;
    sink.failMoveAt = 2;
    // Far more than a pipe holds follows: cat ends only if it is all read.
    const std::string stream = FakeBmpPage(5000, 'a') + FakeBmpPage(5000, 'b') + FakeBmpPage(4000000, 'c');
    EXPECT_EQ(ReadThroughPipe(folder, stream, sink), -1);
    EXPECT_EQ(sink.numbers, (std::vector<int32_t>{1, 2}));
    EXPECT_EQ(sink.completed, 1);
    EXPECT_EQ(sink.dropped, 1);
}

namespace {
// What the page callback saw when it took each page as the page handler
// does: read it, then delete its name.
struct Taken {
    std::string folder;
    std::vector<std::string> pages;
    bool secondName = true;  // each page name was a further name of a spare
    size_t mostSpares = 0;
};
Taken gTaken;

void TakePage(const char* path)
{
    gTaken.pages.push_back(ReadAll(path));
    gTaken.secondName = gTaken.secondName && std::filesystem::hard_link_count(path) == 2;
    size_t spares = 0;
    for (const auto& entry : std::filesystem::directory_iterator(gTaken.folder))
        spares += entry.path().filename().string().starts_with("_dk_spare") ? 1 : 0;
    gTaken.mostSpares = std::max(gTaken.mostSpares, spares);
    EXPECT_TRUE(DeleteFile(path)) << path;
}

int32_t TakeThroughPipe(const std::string& folder, const std::string& bytes)
{
    gTaken = Taken();
    gTaken.folder = folder;
    PageFiles files(folder.c_str(), "_dk_%04d.tm_", TakePage);
    return ReadThroughPipe(folder, bytes, files);
}
}  // namespace

// A page the handler has deleted leaves its spare to the next page: one
// spare serves pages taken one at a time, each cut to its own length, and
// it goes when the pages are done.
TEST(PageFiles, OneSpareServesPagesTakenOneAtATime)
{
    const std::string folder = FreshFolder("spares");
    const std::vector<std::string> sent = {FakeBmpPage(200000, 'a'), FakeBmpPage(3000, 'b'), FakeBmpPage(100000, 'c'),
                                           FakeBmpPage(54, 'd')};
    const std::string all = Joined(sent);
    EXPECT_EQ(TakeThroughPipe(folder, all), 0);
    EXPECT_TRUE(gTaken.pages == sent);
    EXPECT_TRUE(gTaken.secondName);
    EXPECT_EQ(gTaken.mostSpares, 1u);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1) << "only the stream is left";
}

// A link planted as a spare is never written through (pages then go to files
// of their own); a file found at a page's name is never replaced, and the
// stream stops there, with or without a spare.
TEST(PageFiles, PlantedNamesAreLeftAlone)
{
    for (const bool plantSpare : {true, false}) {
        SCOPED_TRACE(plantSpare);
        const std::string folder = FreshFolder("planted");
        const std::string victim = folder + "victim";
        WriteWholeFile(victim, "keep");
        if (plantSpare) std::filesystem::create_symlink(victim, folder + "_dk_spare0.tm_");
        WriteWholeFile(PagePath(folder, 2), "planted");
        const std::string first = FakeBmpPage(5000, 'a');
        EXPECT_EQ(TakeThroughPipe(folder, first + FakeBmpPage(5000, 'b') + FakeBmpPage(5000, 'c')), -1);
        EXPECT_EQ(gTaken.pages, std::vector<std::string>{first});
        EXPECT_EQ(ReadAll(victim), "keep");
        EXPECT_EQ(ReadAll(PagePath(folder, 2)), "planted");
        EXPECT_FALSE(std::filesystem::exists(PagePath(folder, 3)));
        EXPECT_EQ(std::filesystem::is_symlink(folder + "_dk_spare0.tm_"), plantSpare);
    }
}

TEST(PageFiles, APageCutShortIsRemoved)
{
    const std::string folder = FreshFolder("piped");
    const std::string first = FakeBmpPage(5000, 'a');
    EXPECT_EQ(TakeThroughPipe(folder, first + FakeBmpPage(300, 'b').substr(0, 200)), -1);
    EXPECT_EQ(gTaken.pages, std::vector<std::string>{first});
    EXPECT_FALSE(std::filesystem::exists(PagePath(folder, 2)));
}

TEST(PageFiles, FormatNameExpandsOnlyOneNumber)
{
    TextBuffer name;
    EXPECT_TRUE(PageFiles::FormatName("p%d-100%%", 12345, name));
    EXPECT_STREQ(name.GetText(), "p12345-100%");
    for (const char* bad : {"%s", "%d%d", "%n", "%04x", "%", "%10d"})
        EXPECT_FALSE(PageFiles::FormatName(bad, 1, name)) << bad;
}
