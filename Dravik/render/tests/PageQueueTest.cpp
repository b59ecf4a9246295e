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
// What the queue did, as its callbacks (plain functions) saw it.
std::mutex gMutex;
std::vector<std::string> gHandled, gPrepared, gHandledAfterPreparing;
std::atomic<int> gHandling{0}, gPreparing{0};
std::atomic<bool> gHandlesOverlapped{false}, gPreparesOverlapped{false}, gPreparedBesideHandling{false};

void Prepare(const char* path)
{
    if (gPreparing.fetch_add(1) != 0) gPreparesOverlapped = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (gHandling.load() != 0) gPreparedBesideHandling = true;
    {
        const std::lock_guard<std::mutex> lock(gMutex);
        gPrepared.emplace_back(path);
    }
    gPreparing.fetch_sub(1);
}

// Slower than pages are posted, so that they wait.
void Handle(const char* path)
{
    if (gHandling.fetch_add(1) != 0) gHandlesOverlapped = true;
    {
        const std::lock_guard<std::mutex> lock(gMutex);
        if (std::find(gPrepared.begin(), gPrepared.end(), path) != gPrepared.end())
            gHandledAfterPreparing.emplace_back(path);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    gHandled.emplace_back(path);
    gHandling.fetch_sub(1);
}
}  // namespace

// Pages are handled in order, one at a time, all before Finish returns; the
// next page is prepared once, before it is handled, never beside another
// prepare, and beside the handling of the page before.
TEST(PageQueue, TheNextPageIsPreparedOnceBesideTheOneBeingHandled)
{
    PageQueue queue(Handle, Prepare);
    std::vector<std::string> posted;
    for (int i = 1; i <= 40; ++i) {
        posted.push_back("_dk_" + std::to_string(i) + ".tm_");
        queue.Post(posted.back().c_str());
    }
    queue.Finish();
    EXPECT_EQ(gHandled, posted);
    EXPECT_FALSE(gHandlesOverlapped);
    ASSERT_GE(gPrepared.size(), 30u);  // pages waited, so nearly every one was prepared
    EXPECT_TRUE(std::is_sorted(gPrepared.begin(), gPrepared.end(), [&](const std::string& a, const std::string& b) {
        return std::find(posted.begin(), posted.end(), a) < std::find(posted.begin(), posted.end(), b);
    }));
    EXPECT_EQ(std::adjacent_find(gPrepared.begin(), gPrepared.end()), gPrepared.end());
    EXPECT_EQ(gHandledAfterPreparing, gPrepared);
    EXPECT_FALSE(gPreparesOverlapped);
    EXPECT_TRUE(gPreparedBesideHandling);

    PageQueue idle(nullptr);  // a run without a handler posts into nothing
    idle.Post("ignored");
}
