#include <atomic>
#include <csignal>

#include "StopSignals.h"

namespace {
std::atomic<int> gStopSignal{0};
static_assert(std::atomic<int>::is_always_lock_free, "the handler may only touch a lock-free atomic");

void OnStopSignal(int signal)
{
    int none = 0;
    gStopSignal.compare_exchange_strong(none, signal);
}
}  // namespace

void StopSignals::Install()
{
    struct sigaction action { };
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    // Restarted calls: every wait of the run polls for the signal instead.
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) sigaction(signal, &action, nullptr);
}

int StopSignals::Received()
{
    return gStopSignal.load();
}

const char* StopSignals::Name(int signal)
{
    switch (signal) {
    case SIGTERM: return "SIGTERM";
    case SIGINT: return "SIGINT";
    case SIGHUP: return "SIGHUP";
    default: return "signal";
    }
}
