#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "PageFiles.h"
#include "PageReader.h"
#include "PageSink.h"
#include "PageStream.h"
#include "Process.h"
#include "TestJobs.h"
#include "TestPages.h"

namespace {

// Keeps every page in memory and records how each ended.
class MemorySink : public PageSink {
public:
    bool OpenPage(int32_t number) override
    {
        EXPECT_FALSE(open);
        numbers.push_back(number);
        if (number == failOpenAt) return false;
        open = true;
        pages.emplace_back();
        return true;
    }
    bool WritePage(const uint8_t* data, size_t size) override
    {
        EXPECT_TRUE(open);
        pages.back().append(reinterpret_cast<const char*>(data), size);
        return true;
    }
    void ClosePage(bool complete) override
    {
        EXPECT_TRUE(open);
        open = false;
        (complete ? completed : dropped)++;
    }
    bool open = false;
    int32_t failOpenAt = -1;
    std::vector<int32_t> numbers;
    std::vector<std::string> pages;
    int completed = 0;
    int dropped = 0;
};

// Pushes the stream in chunks of the given size; returns Push's last result.
bool PushAll(PageStream& stream, const std::string& bytes, size_t chunk)
{
    for (size_t at = 0; at < bytes.size(); at += chunk) {
        const size_t n = std::min(chunk, bytes.size() - at);
        if (!stream.Push(reinterpret_cast<const uint8_t*>(bytes.data()) + at, n)) return false;
    }
    return true;
}

}  // namespace

TEST(PageStream, PagesOfDifferentSizesComeOutWholeWhateverTheChunking)
{
    const std::vector<std::string> sent = {FakeBmpPage(9000, 'a'), FakeBmpPage(54, 'b'), FakeBmpPage(4096, 'c'),
                                           FakeBmpPage(100, 'd'), FakeBmpPage(12000, 'e')};
    std::string all;
    for (const auto& p : sent) all += p;
    // 1 and 13 split headers; 4096 is the reader's size; 9000 ends exactly at
    // page 1's end; the whole stream in one chunk holds several pages.
    for (size_t chunk : {size_t(1), size_t(13), size_t(4096), size_t(9000), all.size()}) {
        SCOPED_TRACE(chunk);
        MemorySink sink;
        PageStream stream(sink, true);
        ASSERT_TRUE(PushAll(stream, all, chunk));
        ASSERT_TRUE(stream.Finish());
        EXPECT_EQ(sink.pages, sent);
        EXPECT_EQ(sink.numbers, (std::vector<int32_t>{1, 2, 3, 4, 5}));
        EXPECT_EQ(sink.completed, 5);
        EXPECT_EQ(stream.PagesDelivered(), 5);
    }
}

TEST(PageStream, PageIsHandedOnAsSoonAsItsLastByteArrives)
{
    MemorySink sink;
    PageStream stream(sink, true);
    const std::string page = FakeBmpPage(5000, 'x');
    ASSERT_TRUE(PushAll(stream, page, 4096));
    EXPECT_EQ(sink.completed, 1);
    EXPECT_FALSE(sink.open);
}

TEST(PageStream, BadHeaderEndsTheStreamAtAnyPage)
{
    std::string notBmp = FakeBmpPage(200, 'z');
    notBmp[0] = 'P';
    std::string tooShort = FakeBmpPage(200, 'z');
    tooShort[2] = 20;
    tooShort[3] = 0;
    std::string tooLong = FakeBmpPage(200, 'z');
    tooLong[5] = char(0x7f);
    std::string offsetBeyond = FakeBmpPage(200, 'z');
    offsetBeyond[10] = char(0xff);
    offsetBeyond[11] = char(0xff);
    for (const std::string& bad : {notBmp, tooShort, tooLong, offsetBeyond}) {
        MemorySink first;
        PageStream atOne(first, true);
        EXPECT_FALSE(PushAll(atOne, bad + FakeBmpPage(300, 'y'), 4096));
        EXPECT_FALSE(atOne.Finish());
        EXPECT_TRUE(first.pages.empty());

        MemorySink third;
        PageStream atThree(third, true);
        const std::string two = FakeBmpPage(3000, 'a') + FakeBmpPage(2000, 'b');
        EXPECT_FALSE(PushAll(atThree, two + bad + FakeBmpPage(300, 'y'), 4096));
        EXPECT_FALSE(atThree.Push(reinterpret_cast<const uint8_t*>("BM"), 2)) << "a failed stream takes nothing";
        EXPECT_FALSE(atThree.Finish());
        EXPECT_EQ(third.completed, 2);
        EXPECT_EQ(third.dropped, 0);
        EXPECT_EQ(third.numbers.size(), 2u);
    }
}

TEST(PageStream, PageCutShortIsDroppedNotDelivered)
{
    MemorySink sink;
    PageStream stream(sink, true);
    const std::string stream2 = FakeBmpPage(5000, 'a') + FakeBmpPage(5000, 'b').substr(0, 3000);
    ASSERT_TRUE(PushAll(stream, stream2, 4096));
    EXPECT_FALSE(stream.Finish());
    EXPECT_EQ(sink.completed, 1);
    EXPECT_EQ(sink.dropped, 1);
    EXPECT_EQ(stream.PagesDelivered(), 1);

    MemorySink inHeader;
    PageStream headerCut(inHeader, true);
    ASSERT_TRUE(PushAll(headerCut, FakeBmpPage(100, 'a') + "BM\x10", 4096));
    EXPECT_FALSE(headerCut.Finish());
    EXPECT_EQ(inHeader.completed, 1);
    EXPECT_EQ(inHeader.numbers.size(), 1u);
}

TEST(PageStream, EmptyStreamGivesNoPage)
{
    MemorySink sink;
    PageStream stream(sink, true);
    EXPECT_TRUE(stream.Finish());
    EXPECT_TRUE(sink.numbers.empty());
}

TEST(PageStream, OtherStreamsAreOnePage)
{
    MemorySink sink;
    PageStream stream(sink, false);
    const std::string pdf = "%PDF-1.4\n" + std::string(10000, 'q');
    ASSERT_TRUE(PushAll(stream, pdf, 4096));
    EXPECT_EQ(sink.completed, 0) << "only the end of the stream completes it";
    ASSERT_TRUE(stream.Finish());
    EXPECT_EQ(sink.pages, std::vector<std::string>{pdf});
    EXPECT_EQ(sink.completed, 1);
}

TEST(PageStream, SinkFailureStopsTheStream)
{
    MemorySink sink;
    sink.failOpenAt = 2;
    PageStream stream(sink, true);
    EXPECT_FALSE(PushAll(stream, FakeBmpPage(100, 'a') + FakeBmpPage(100, 'b') + FakeBmpPage(100, 'c'), 4096));
    EXPECT_FALSE(stream.Finish());
    EXPECT_EQ(sink.completed, 1);
    EXPECT_EQ(sink.dropped, 0);
    EXPECT_EQ(sink.numbers, (std::vector<int32_t>{1, 2}));
}

// The same cuts on bytes that come through a real pipe into page files.
namespace {
std::vector<std::string> gDelivered;
void RecordDelivered(const char* path) { gDelivered.push_back(path); }

// Streams the bytes through `cat` into a PageReader writing page files.
int32_t ReadThroughPipe(const std::string& folder, const std::string& bytes)
{
    gDelivered.clear();
    const std::string source = folder + "stream.bin";
    WriteWholeFile(source, bytes);
    Process cat;
    EXPECT_TRUE(cat.CreateChildProcess(("cat \"" + source + "\"").c_str(), false, 2, false));
    CloseHandle(cat.m_hChildStdoutWr);
    PageFiles files(folder.c_str(), "_dk_%04d.tm_", RecordDelivered);
    PageStream stream(files, true);
    const int32_t result = PageReader(cat.m_hChildStdoutRdDup, stream).Run();
    cat.Wait();
    return result;
}

std::string PagePath(const std::string& folder, int page)
{
    TextBuffer name;
    EXPECT_TRUE(PageFiles::FormatName("_dk_%04d.tm_", page, name));
    return folder + name.GetText();
}
}  // namespace

TEST(PageReader, CutsPipedStreamsIntoPageFiles)
{
    const std::string folder = FreshFolder("piped");
    // Page 1 ends exactly at the first read's end; pages 2 to 4 share one read.
    const std::vector<std::string> sent = {FakeBmpPage(PageReader::kChunkBytes, 'a'), FakeBmpPage(60, 'b'),
                                           FakeBmpPage(700, 'c'), FakeBmpPage(100, 'd'), FakeBmpPage(9000, 'e')};
    std::string all;
    for (const auto& page : sent) all += page;
    EXPECT_EQ(ReadThroughPipe(folder, all), 0);
    ASSERT_EQ(gDelivered.size(), sent.size());
    for (size_t i = 0; i < sent.size(); ++i) {
        EXPECT_EQ(gDelivered[i], PagePath(folder, int(i + 1)));
        EXPECT_TRUE(ReadWholeFile(gDelivered[i]) == sent[i]) << "page " << i + 1;
    }
}

TEST(PageReader, BadHeaderOrCutPageDeliversOnlyWholePages)
{
    const std::string folder = FreshFolder("piped-bad");
    std::string bad = FakeBmpPage(500, 'x');
    bad[1] = 'X';
    const std::string two = FakeBmpPage(5000, 'a') + FakeBmpPage(300, 'b');

    EXPECT_EQ(ReadThroughPipe(folder, bad + two), -1);
    EXPECT_TRUE(gDelivered.empty());
    EXPECT_FALSE(std::filesystem::exists(PagePath(folder, 1)));

    // The rest of the stream after a bad third header is drained, not cut.
    EXPECT_EQ(ReadThroughPipe(folder, two + bad + std::string(200000, 'y')), -1);
    EXPECT_EQ(gDelivered.size(), 2u);
    EXPECT_FALSE(std::filesystem::exists(PagePath(folder, 3)));

    std::filesystem::remove(PagePath(folder, 2));
    EXPECT_EQ(ReadThroughPipe(folder, two.substr(0, 5200)), -1);
    EXPECT_EQ(gDelivered.size(), 1u);
    EXPECT_FALSE(std::filesystem::exists(PagePath(folder, 2))) << "a page cut short is removed";
}

TEST(PageFiles, FormatNameExpandsOnlyOneNumber)
{
    TextBuffer name;
    EXPECT_TRUE(PageFiles::FormatName("_dk_%04d.tm_.pdf", 7, name));
    EXPECT_STREQ(name.GetText(), "_dk_0007.tm_.pdf");
    EXPECT_TRUE(PageFiles::FormatName("p%d-100%%", 12345, name));
    EXPECT_STREQ(name.GetText(), "p12345-100%");
    EXPECT_TRUE(PageFiles::FormatName("%3d", 5, name));
    EXPECT_STREQ(name.GetText(), "  5");
    for (const char* bad : {"%s", "%d%d", "%n", "%04x", "%", "%10d"}) EXPECT_FALSE(PageFiles::FormatName(bad, 1, name)) << bad;
}
