#include "TickClock.h"

#include <atomic>
#include <chrono>

namespace {

class SteadyTickClock final : public ITickClock {
public:
    std::uint32_t Now() override
    {
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now().time_since_epoch());
        return static_cast<std::uint32_t>(ms.count());
    }
};

std::atomic<ITickClock*> g_clock{nullptr};

}  // namespace

ITickClock& SystemTickClock()
{
    static SteadyTickClock clock;
    return clock;
}

std::uint32_t GetTickCount()
{
    ITickClock* clock = g_clock.load(std::memory_order_relaxed);
    return clock != nullptr ? clock->Now() : SystemTickClock().Now();
}

void SetTickClock(ITickClock* clock)
{
    g_clock.store(clock, std::memory_order_relaxed);
}
