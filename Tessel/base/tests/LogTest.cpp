#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "Log.h"
#include "ScratchFolder.h"

namespace fs = std::filesystem;

namespace {
constexpr size_t kStamp = 18;  // "dd/mm/yy hh:mm:ss "

class LogTest : public ::testing::Test {
protected:
    void SetUp() override { gLogLevel = 2; }
    std::string Contents() const { return m_log.Text(); }
    // A log of the given size whose kept half (if trimmed) has a line feed 1000 bytes in.
    void WriteBytes(size_t size, char fill) const
    {
        std::string data(size, fill);
        data[size - gLogMaxSize / 2 + 1000] = '\n';
        std::ofstream(path, std::ios::binary) << data;
    }
    ScratchFolder m_folder;
    ScopedLog m_log{m_folder};
    const std::string path = m_log.Path();
};
}  // namespace

TEST_F(LogTest, StampLevelsAndRunOnText)
{
    LogText("first %d\r\n", 1);
    LogMessage(0, "trace\r\n");  // below the threshold: dropped
    LogText("no line end");
    LogText("next\r\n");
    const std::string text = Contents();
    const std::regex whole(R"((\d\d/\d\d/\d\d \d\d:\d\d:\d\d first 1\r\n)"
                           R"(\d\d/\d\d/\d\d \d\d:\d\d:\d\d no line end)"
                           R"(\d\d/\d\d/\d\d \d\d:\d\d:\d\d next\r\n))");
    EXPECT_TRUE(std::regex_match(text, whole)) << text;
}

TEST_F(LogTest, TrimsAtTheLimitToWholeLinesAndCutsWhatIsTooLong)
{
    WriteBytes(gLogMaxSize, 'b');
    LogText("after\r\n");
    const std::string text = Contents();
    // The kept half starts behind the first line feed of its first chunk.
    EXPECT_EQ(text.size(), gLogMaxSize / 2 - 1001 + kStamp + 7);
    EXPECT_EQ(text.find('\n'), text.size() - 1);
    EXPECT_FALSE(fs::exists(path + ".trim"));

    fs::resize_file(path, 4ull << 30);  // sparse: costs no disk
    LogText("fresh\r\n");
    EXPECT_EQ(fs::file_size(path), kStamp + 7u);
    fs::remove(path);
    LogText("%s", std::string(70000, 'z').c_str());
    EXPECT_EQ(fs::file_size(path), kStamp + 65535u);
}

TEST_F(LogTest, ConcurrentWritersAcrossTheTrimLoseNothing)
{
    WriteBytes(gLogMaxSize - 100, 'd');
    std::vector<std::thread> writers;
    for (int t = 0; t < 4; ++t)
        writers.emplace_back([t] {
            for (int i = 0; i < 100; ++i) LogText("writer %d entry %d\r\n", t, i);
        });
    for (auto& w : writers) w.join();
    const std::string text = Contents();
    for (int t = 0; t < 4; ++t)
        for (int i = 0; i < 100; ++i) {  // each entry whole and once: none torn, lost or doubled
            const std::string entry = "writer " + std::to_string(t) + " entry " + std::to_string(i) + "\r\n";
            ASSERT_NE(text.find(entry), std::string::npos) << entry;
            ASSERT_EQ(text.find(entry), text.rfind(entry)) << entry;
        }
}

TEST_F(LogTest, PlantedFilesAreNeverWrittenAndTheirEntriesGoToTheNextLog)
{
    // Another user's link as the log, and as the old fixed name of the trim file.
    const std::string victim = m_folder.Write("victim", "precious");
    fs::create_symlink(victim, m_folder.Path("planted.log"));
    fs::create_symlink(victim, path + ".trim");
    SetLogFileName(m_folder.Path("planted.log").c_str());
    LogText("early entry\r\n");
    // A pipe in the log's place neither blocks nor takes the entry.
    mkfifo(m_folder.Path("pipe.log").c_str(), 0600);
    SetLogFileName(m_folder.Path("pipe.log").c_str());
    LogText("second entry\r\n");
    // Nor does another user's own log, where one can be made for the test.
    const std::string foreign = m_folder.Write("foreign.log", "theirs");
    if (geteuid() == 0 && chown(foreign.c_str(), 65534, 65534) == 0) {
        SetLogFileName(foreign.c_str());
        LogText("third entry\r\n");
        EXPECT_EQ(ScratchFolder::Read(foreign), "theirs");
    }

    SetLogFileName(path.c_str());
    WriteBytes(gLogMaxSize, 'x');
    LogText("own entry\r\n");
    EXPECT_EQ(ScratchFolder::Read(victim), "precious");
    const std::string text = Contents();
    EXPECT_LE(text.size(), gLogMaxSize / 2 + 200);  // trimmed, through a file of its own
    const size_t early = text.find("early entry\r\n");
    ASSERT_NE(early, std::string::npos) << text.substr(text.size() - 200);
    EXPECT_LT(early, text.find("own entry\r\n"));
}
