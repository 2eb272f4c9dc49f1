// The installable clock; the system clock itself is in each platform's file.
#include "Platform.h"

#include <atomic>

namespace VxPlatform {
namespace {

std::atomic<ITickClock*> g_clock{nullptr};

} // namespace

std::uint32_t TickCount()
{
    ITickClock* clock = g_clock.load(std::memory_order_relaxed);
    return clock != nullptr ? clock->Now() : SystemTickClock().Now();
}

void SetTickClock(ITickClock* clock)
{
    g_clock.store(clock, std::memory_order_relaxed);
}

} // namespace VxPlatform
