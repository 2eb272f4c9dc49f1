#pragma once

// The monotonic clock the latency benchmarks measure with, and absolute
// sleeps on it (a relative sleep would add each wake-up's lateness).

#include <cerrno>
#include <cstdint>
#include <ctime>

inline std::int64_t NowNs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

inline void SleepUntilNs(std::int64_t deadline)
{
    timespec ts{};
    ts.tv_sec = static_cast<time_t>(deadline / 1000000000);
    ts.tv_nsec = static_cast<long>(deadline % 1000000000);
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
    }
}

inline void SleepMs(double ms)
{
    SleepUntilNs(NowNs() + static_cast<std::int64_t>(ms * 1e6));
}
