// vxbridge's command line: where the beats and levels go and how often.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "ToolOptions.h"

namespace vxbridge {

inline constexpr int kDefaultRate = 25;
inline constexpr int kMaxRate = 1000;
inline constexpr int kDefaultPulseMs = 50;
inline constexpr int kMaxPulseMs = 10000;
inline constexpr const char* kDefaultOscPrefix = "/vx";
// Far more than any receiver's addresses need, and every message still fits
// in one UDP datagram.
inline constexpr std::size_t kMaxOscPrefix = 1024;

// HOST:PORT, or [IPV6]:PORT. The host is resolved later, at start-up.
struct TEndpoint {
    std::string Host;
    std::uint16_t Port = 0;

    std::string Text() const;
    bool operator==(const TEndpoint&) const = default;
};

// Parses "HOST:PORT"; throws vxtools::EToolUsage naming `option` on a
// missing host or a port outside 1..65535.
TEndpoint ParseEndpoint(const std::string& text, const std::string& option);

struct TBridgeOptions {
    std::string Segment;
    std::vector<TEndpoint> Osc;
    std::string OscPrefix = kDefaultOscPrefix;
    int PulseMs = kDefaultPulseMs;
    int Rate = kDefaultRate;  // level messages per second, 0 = none
    bool Os2l = false;
    std::optional<TEndpoint> Os2lServer;  // empty with Os2l: browse by DNS-SD
    bool Quiet = false;
};

// Parses the arguments after the program name. defaultSegment is the
// segment used without --segment ($VX_SEGMENT_NAME or VXSOUNDMAP).
// Help, version and every usage error are written here (exit 0 or 2).
vxtools::EParseOutcome ParseBridgeOptions(const std::vector<std::string>& args, const std::string& defaultSegment,
                                          TBridgeOptions& options, std::ostream& out, std::ostream& err);

}  // namespace vxbridge
