// What the stand-in program (StandIn.cpp) and its tests agree on.
#pragma once

#include <cstdint>

#include "KeyForwarding.h"

// Sent to the stand-in host with wParam = i: the i-th message posted to it,
// packed by PackPost, or -1 while there are not that many.
inline constexpr std::uint32_t kStandInPostQuery = 0x8001;   // WM_APP + 1
// Posted after the keys under test: once it has arrived, every key posted
// before it has too.
inline constexpr std::uint32_t kStandInMarker = 0x8002;
// The stand-in host answers the key-target query this late with "late".
inline constexpr int kStandInLateReplyMs = 700;
// The level a stand-in analyzer writes into the record it makes.
inline constexpr float kStandInLevel = 1234.5f;

inline std::int64_t PackPost(std::uint32_t message, std::uint64_t wParam, std::int64_t lParam)
{
    return static_cast<std::int64_t>((std::uint64_t{message & 0xFFFF} << 48) | ((wParam & 0xFFFF) << 32) |
                                     static_cast<std::uint32_t>(lParam));
}
