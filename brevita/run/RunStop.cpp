#include "RunStop.h"

#include <atomic>
#include <csignal>
#include <iterator>

namespace brevita {

namespace {

std::atomic<bool> stopRequested = false;
std::atomic<bool> signalled = false;
static_assert(std::atomic<bool>::is_always_lock_free);

constexpr int kSignals[] = {SIGTERM, SIGINT};
struct sigaction saved[std::size(kSignals)];

void OnSignal(int) {
    signalled = true;
    stopRequested = true;
}

} // namespace

void RequestStop() {
    stopRequested = true;
}

bool StopRequested() {
    return stopRequested;
}

void ClearStopRequest() {
    stopRequested = false;
    signalled = false;
}

bool StopSignalled() {
    return signalled;
}

StopOnSignals::StopOnSignals() {
    struct sigaction ask = {};
    ask.sa_handler = OnSignal;
    sigemptyset(&ask.sa_mask);
    // The second signal finds the default action again.
    ask.sa_flags = SA_RESETHAND;
    for (size_t i = 0; i < std::size(kSignals); ++i) {
        sigaction(kSignals[i], &ask, &saved[i]);
    }
}

StopOnSignals::~StopOnSignals() {
    for (size_t i = 0; i < std::size(kSignals); ++i) {
        sigaction(kSignals[i], &saved[i], nullptr);
    }
}

} // namespace brevita
