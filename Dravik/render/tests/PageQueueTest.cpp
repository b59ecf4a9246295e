#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "PageQueue.h"

namespace {
std::vector<std::string> gHandled;
std::atomic<int> gInside{0};
std::atomic<bool> gOverlapped{false};

void SlowHandler(const char* path)
{
    if (gInside.fetch_add(1) != 0) gOverlapped = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    gHandled.emplace_back(path);
    gInside.fetch_sub(1);
}

std::mutex gPreparedMutex;
std::vector<std::string> gPrepared;
std::vector<std::string> gHandledAfterPreparing;
std::atomic<int> gPreparing{0};
std::atomic<bool> gPreparesOverlapped{false};
std::atomic<bool> gPreparedBesideHandling{false};

void Prepare(const char* path)
{
    if (gPreparing.fetch_add(1) != 0) gPreparesOverlapped = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (gInside.load() != 0) gPreparedBesideHandling = true;
    {
        const std::lock_guard<std::mutex> lock(gPreparedMutex);
        gPrepared.emplace_back(path);
    }
    gPreparing.fetch_sub(1);
}

void HandlerThatLooksForItsPreparing(const char* path)
{
    {
        const std::lock_guard<std::mutex> lock(gPreparedMutex);
        if (std::find(gPrepared.begin(), gPrepared.end(), path) != gPrepared.end())
            gHandledAfterPreparing.emplace_back(path);
    }
    SlowHandler(path);
}

// Posts forty pages, faster than the slow handler takes them, and waits for their end.
std::vector<std::string> PostFortyPages(PageQueue& queue)
{
    std::vector<std::string> posted;
    for (int i = 1; i <= 40; ++i) {
        posted.push_back("_dk_" + std::to_string(i) + ".tm_");
        queue.Post(posted.back().c_str());
    }
    queue.Finish();
    return posted;
}
}  // namespace

// Pages are handled in order, one at a time, all before Finish returns.
TEST(PageQueue, TheNextPageIsPreparedOnceBesideTheOneBeingHandled)
{
    gHandled.clear();
    PageQueue queue(HandlerThatLooksForItsPreparing, Prepare);
    const std::vector<std::string> posted = PostFortyPages(queue);
    EXPECT_EQ(gHandled, posted);
    EXPECT_FALSE(gOverlapped);
    // Pages waited behind a slow handler, so nearly every one was prepared:
    // each once, in order, before it was handled, never beside another
    // prepare, and beside the handling of the page before.
    ASSERT_GE(gPrepared.size(), 30u);
    EXPECT_TRUE(std::is_sorted(gPrepared.begin(), gPrepared.end(), [&](const std::string& a, const std::string& b) {
        return std::find(posted.begin(), posted.end(), a) < std::find(posted.begin(), posted.end(), b);
    }));
    EXPECT_EQ(std::adjacent_find(gPrepared.begin(), gPrepared.end()), gPrepared.end());
    EXPECT_NE(gPrepared.front(), posted.front());
    EXPECT_EQ(gHandledAfterPreparing, gPrepared);
    EXPECT_FALSE(gPreparesOverlapped);
    EXPECT_TRUE(gPreparedBesideHandling);

    PageQueue idle(nullptr);  // a run without a handler posts into nothing
    idle.Post("ignored");
}
