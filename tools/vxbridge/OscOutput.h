// OSC over UDP (liblo) to every --osc target. Sending costs the same
// whether or not anyone listens.
#pragma once

#include <sys/socket.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "BridgeCore.h"
#include "BridgeOptions.h"

#include <lo/lo_types.h>

namespace vxbridge {

// An output that cannot be set up (a host that does not resolve).
using TNotify = std::function<void(const std::string&)>;

class EBridgeSetup : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct TResolvedAddress {
    sockaddr_storage Address{};
    socklen_t Length = 0;
};

// Every address HOST:PORT resolves to for `type` (SOCK_DGRAM or
// SOCK_STREAM) whose family this machine can open a socket of, in the
// resolver's order; throws EBridgeSetup naming `option` and the endpoint
// when there is none.
std::vector<TResolvedAddress> ResolveEndpoint(const TEndpoint& endpoint, int type, const std::string& option);

// The numeric form of an address, [v6]:port or v4:port.
std::string AddressText(const TResolvedAddress& address);

class TOscOutput {
public:
    // Resolves every target now; throws EBridgeSetup.
    TOscOutput(const std::vector<TEndpoint>& targets, const std::string& prefix, TNotify notify);
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
    // "osc HOST:PORT, ..." with each target's failure, if it has one.
    std::string StateText() const;

private:
    // A connected UDP socket per target, on one of its addresses: a
    // receiver that is not there (ICMP port unreachable) makes the next
    // send fail, and the target moves on to its next address.
    struct TTarget {
        std::string Text;
        std::vector<TResolvedAddress> Addresses;
        std::size_t Current = 0;
        int Fd = -1;
        std::string Failure;  // the last send's error, until sends go through again
        int Successes = 0;    // sends in a row without an error
        std::vector<std::string> Reported;  // each failure is said once
    };
    bool Open(TTarget& t);
    void Send(const std::string& path, lo_message m);
    void SendFloat(const std::string& path, float value);
    void SendInt(const std::string& path, int value);

    TNotify notify_;
    std::vector<TTarget> targets_;
    std::string beat_, count_, bpm_, level_, levelNorm_, clipping_, active_;
    std::vector<std::string> band_, bandNorm_;
};

}  // namespace vxbridge
