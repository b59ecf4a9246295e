#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <thread>

#include "IsolatedCall.h"

// A result comes back whole; a copy that aborts, hangs or floods costs only
// its result, and the caller goes on.
TEST(IsolatedCall, AFaultInTheWorkCostsOnlyItsResult)
{
    std::string result, failure;
    ASSERT_TRUE(IsolatedCall::Run([] { return std::string(300000, 'x') + "end"; }, 10000, result, failure)) << failure;
    EXPECT_EQ(result.size(), 300003u);
    EXPECT_EQ(result.substr(300000), "end");

    EXPECT_FALSE(IsolatedCall::Run([]() -> std::string { std::abort(); }, 10000, result, failure));
    EXPECT_EQ(failure, "it ended on signal " + std::to_string(SIGABRT));
    EXPECT_TRUE(result.empty());

    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(IsolatedCall::Run(
        [] {
            std::this_thread::sleep_for(std::chrono::seconds(30));
            return std::string("late");
        },
        300, result, failure));
    EXPECT_EQ(failure, "it ran longer than 300 ms");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));

    EXPECT_FALSE(
        IsolatedCall::Run([] { return std::string(IsolatedCall::kMaxResult + 1, 'x'); }, 10000, result, failure));
    EXPECT_EQ(failure, "its result was too long");
}
