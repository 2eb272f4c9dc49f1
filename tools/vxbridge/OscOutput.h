// OSC over UDP (liblo) to every --osc target. Sending costs the same
// whether or not anyone listens.
#pragma once

#include <sys/socket.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "BridgeCore.h"
#include "BridgeOptions.h"

#include <lo/lo_types.h>

namespace vxbridge {

// An output that cannot be set up (a host that does not resolve).
class EBridgeSetup : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct TResolvedAddress {
    sockaddr_storage Address{};
    socklen_t Length = 0;
};

// The first address HOST:PORT resolves to for `type` (SOCK_DGRAM or
// SOCK_STREAM); throws EBridgeSetup naming `option` and the endpoint.
TResolvedAddress ResolveEndpoint(const TEndpoint& endpoint, int type, const std::string& option);

// Resolves HOST:PORT for `type` (SOCK_DGRAM or SOCK_STREAM) to a numeric
// address; throws EBridgeSetup naming `option` and the endpoint.
std::string NumericHost(const TEndpoint& endpoint, int type, const std::string& option);

class TOscOutput {
public:
    // Resolves every target now; throws EBridgeSetup.
    TOscOutput(const std::vector<TEndpoint>& targets, const std::string& prefix);
    ~TOscOutput();
    TOscOutput(const TOscOutput&) = delete;
    TOscOutput& operator=(const TOscOutput&) = delete;

    bool Empty() const { return targets_.empty(); }
    // The press (beat 1.0), the count and, once a tempo exists, the tempo.
    void Beat(const TBeat& beat);
    // The release (beat 0.0).
    void Release();
    void Levels(const TLevels& levels, const TLevelChanges::TChanged& changed);
    void Active(int active);

private:
    void SendFloat(const std::string& path, float value);
    void SendInt(const std::string& path, int value);

    std::vector<lo_address> targets_;
    std::string beat_, count_, bpm_, level_, levelNorm_, clipping_, active_;
    std::vector<std::string> band_, bandNorm_;
};

}  // namespace vxbridge
