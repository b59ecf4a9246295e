#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "Log.h"

namespace fs = std::filesystem;

namespace {
class LogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = fs::temp_directory_path() /
              ("tessel-log-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        path = (dir / "Parsimo.log").string();
        SetLogFileName(path.c_str());
        gLogLevel = 2;
    }
    void TearDown() override
    {
        SetLogFileName("");
        gLogLevel = 2;
        fs::remove_all(dir);
    }
    std::string Contents() const
    {
        std::ifstream in(path, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    void WriteBytes(size_t size, char fill, bool lineFeedAt1000 = true)
    {
        std::string data(size, fill);
        if (lineFeedAt1000) data[size - gLogMaxSize / 2 + 1000] = '\n';
        std::ofstream(path, std::ios::binary) << data;
    }
    fs::path dir;
    std::string path;
};
}  // namespace

TEST_F(LogTest, StampLevelsAndRunOnText)
{
    LogText("first %d\r\n", 1);
    LogMessage(0, "trace\r\n");   // below the threshold: dropped
    LogMessage(2, "error\r\n");
    LogText("no line end");
    LogText("next\r\n");
    const std::string text = Contents();
    const std::regex stamp(R"(\d\d/\d\d/\d\d \d\d:\d\d:\d\d )");
    const std::regex whole(R"((\d\d/\d\d/\d\d \d\d:\d\d:\d\d first 1\r\n)"
                           R"(\d\d/\d\d/\d\d \d\d:\d\d:\d\d error\r\n)"
                           R"(\d\d/\d\d/\d\d \d\d:\d\d:\d\d no line end)"
                           R"(\d\d/\d\d/\d\d \d\d:\d\d:\d\d next\r\n))");
    EXPECT_TRUE(std::regex_match(text, whole)) << text;

    gLogLevel = 3;
    errno = ENOENT;
    LOG_LAST_ERROR(2);
    LogMessage(2, "hidden\r\n");
    EXPECT_EQ(Contents(), text);
}

TEST_F(LogTest, NoFileNameMeansNoFile)
{
    SetLogFileName("");
    LogText("lost\r\n");
    EXPECT_FALSE(fs::exists(path));
    EXPECT_FALSE(TrimLogFile());
}

TEST_F(LogTest, LastErrorCarriesSystemText)
{
    errno = ENOENT;
    LogLastError("Unit.cpp", 12, 2);
    errno = 99999;
    LogLastError("Unit.cpp", 13, 2);
    errno = EACCES;
    LogLastError(nullptr, 0, 2);
    const std::string text = Contents();
    EXPECT_NE(text.find("Error Code 2 in File Unit.cpp, Line 12 : No such file or directory\r\n"), std::string::npos);
    EXPECT_NE(text.find("Error Code 99999 in File Unit.cpp, Line 13\r\n"), std::string::npos);
    EXPECT_NE(text.find("Error Code 13: Permission denied\r\n"), std::string::npos);
    EXPECT_STREQ(BaseFileName("/src/Tessel/Log.cpp"), "Log.cpp");
    EXPECT_STREQ(BaseFileName("C:\\src\\Log.cpp"), "Log.cpp");
    EXPECT_STREQ(BaseFileName("Log.cpp"), "Log.cpp");
}

TEST_F(LogTest, TrimsAtTheLimitToWholeLines)
{
    WriteBytes(gLogMaxSize - 1, 'a');
    LogText("kept\r\n");
    EXPECT_EQ(fs::file_size(path), gLogMaxSize - 1 + 18 + 6);

    WriteBytes(gLogMaxSize, 'b');
    LogText("after\r\n");
    const std::string text = Contents();
    // The kept half starts behind the first line feed of its first chunk.
    EXPECT_EQ(text.size(), gLogMaxSize / 2 - 1001 + 18 + 7);
    EXPECT_EQ(text.substr(0, 3), "bbb");
    EXPECT_EQ(text.substr(text.size() - 7), "after\r\n");
    EXPECT_EQ(text.find('\n'), text.size() - 1);
    EXPECT_FALSE(fs::exists(path + ".trim"));
}

TEST_F(LogTest, TrimKeepsHalfWhenFirstChunkHasNoLineFeed)
{
    WriteBytes(gLogMaxSize + 10, 'c', false);
    EXPECT_TRUE(TrimLogFile());
    EXPECT_EQ(fs::file_size(path), gLogMaxSize / 2);
    EXPECT_FALSE(TrimLogFile());
}

TEST_F(LogTest, HugeLogIsEmptied)
{
    {
        std::ofstream(path) << "x";
    }
    fs::resize_file(path, 4ull << 30);  // sparse: costs no disk
    LogText("fresh\r\n");
    EXPECT_EQ(fs::file_size(path), 18u + 7u);
}

TEST_F(LogTest, LongTextIsCut)
{
    const std::string big(70000, 'z');
    LogText("%s", big.c_str());
    EXPECT_EQ(fs::file_size(path), 18u + 65535u);
}

TEST_F(LogTest, ConcurrentWritersLoseNothing)
{
    // Small limit crossings included: the writers also race the trim.
    constexpr int kThreads = 4, kEntries = 250;
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t)
        writers.emplace_back([t] {
            for (int i = 0; i < kEntries; ++i) LogText("writer %d entry %d\r\n", t, i);
        });
    for (auto& w : writers) w.join();
    const std::string text = Contents();
    for (int t = 0; t < kThreads; ++t)
        for (int i = 0; i < kEntries; ++i) {
            const std::string entry = "writer " + std::to_string(t) + " entry " + std::to_string(i) + "\r\n";
            ASSERT_NE(text.find(entry), std::string::npos) << entry;
        }
    size_t lines = 0;
    for (char c : text) lines += c == '\n';
    EXPECT_EQ(lines, static_cast<size_t>(kThreads * kEntries));
}

TEST_F(LogTest, ConcurrentWritersAcrossTheTrim)
{
    WriteBytes(gLogMaxSize - 100, 'd');
    std::vector<std::thread> writers;
    for (int t = 0; t < 2; ++t)
        writers.emplace_back([t] {
            for (int i = 0; i < 50; ++i) LogText("w%d-%d\r\n", t, i);
        });
    for (auto& w : writers) w.join();
    const std::string text = Contents();
    for (int t = 0; t < 2; ++t)
        for (int i = 0; i < 50; ++i)
            EXPECT_NE(text.find("w" + std::to_string(t) + "-" + std::to_string(i) + "\r\n"), std::string::npos);
}
