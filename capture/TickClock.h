// The millisecond tick counter (32 bits, wraps after 49.7 days). Code
// measures intervals as unsigned differences, so a wrap changes nothing.
// Tests and the offline analyzer install a clock of their own.
#pragma once

#include <cstdint>

class ITickClock {
public:
    virtual ~ITickClock() = default;
    virtual std::uint32_t Now() = 0;
};

// Monotonic system clock, cut to 32 bits.
ITickClock& SystemTickClock();

// The clock in use (the system clock unless one is installed).
std::uint32_t GetTickCount();
// Install a clock; null restores the system clock. Not for use while the
// capture thread runs.
void SetTickClock(ITickClock* clock);
