#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
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
}  // namespace

TEST(PageQueue, PagesArriveInOrderOneAtATimeAndAllBeforeFinishReturns)
{
    gHandled.clear();
    std::vector<std::string> posted;
    {
        PageQueue queue(SlowHandler);
        for (int i = 1; i <= 40; ++i) {
            posted.push_back("_dk_" + std::to_string(i) + ".tm_");
            queue.Post(posted.back().c_str());
        }
        queue.Finish();
        EXPECT_EQ(gHandled, posted);
    }
    EXPECT_FALSE(gOverlapped);
    PageQueue idle(nullptr);  // a run without a handler posts into nothing
    idle.Post("ignored");
}
