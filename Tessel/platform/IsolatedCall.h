#pragma once
#include <functional>
#include <string>

// Runs a piece of work in a copy of this process and hands back the bytes it
// returns, so that a fault in code we do not control (a library that aborts
// on an assertion of its own, or never ends) costs that result only, never
// the job. The copy has only the calling thread: the work must take no lock
// another thread may hold (no logging, no stdio); memory allocation is fine.
class IsolatedCall {
public:
    // Results larger than this are cut off and count as a failure.
    static constexpr size_t kMaxResult = 1u << 20;

    // False with the reason in `failure` when the copy could not be made,
    // died, or ran past timeLimitMs (it is then killed).
    static bool Run(const std::function<std::string()>& work, int timeLimitMs, std::string& result,
                    std::string& failure);
};
