// The bridge's loop: map the record as a host, take every trig and send
// it at once, send the levels at their rate, keep the outputs connected.
#pragma once

#include <vector>
#include <string>

#include "BridgeOptions.h"

namespace vxbridge {

inline constexpr int kExitOk = 0;
inline constexpr int kExitUsage = 2;

// Runs until a terminating signal; returns the exit status. Notices and the
// status line go to stderr.
int RunBridge(const TBridgeOptions& options);

// The whole program: options ($VX_SEGMENT_NAME), then RunBridge.
int VxBridgeMain(const std::vector<std::string>& args);

}  // namespace vxbridge
