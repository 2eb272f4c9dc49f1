#include "StopRequest.h"

#include <csignal>

#include <atomic>

namespace vxhost {

namespace {

std::atomic<bool> gStop{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

struct sigaction gOldInt {};
struct sigaction gOldTerm {};

extern "C" void OnStopSignal(int)
{
    gStop.store(true, std::memory_order_relaxed);
}

}  // namespace

TStopRequest::TStopRequest()
{
    gStop.store(false, std::memory_order_relaxed);
    struct sigaction sa {};
    sa.sa_handler = OnStopSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, &gOldInt);
    sigaction(SIGTERM, &sa, &gOldTerm);
}

TStopRequest::~TStopRequest()
{
    sigaction(SIGINT, &gOldInt, nullptr);
    sigaction(SIGTERM, &gOldTerm, nullptr);
}

bool TStopRequest::Requested()
{
    return gStop.load(std::memory_order_relaxed);
}

}  // namespace vxhost
