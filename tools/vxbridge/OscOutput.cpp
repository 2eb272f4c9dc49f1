#include "OscOutput.h"

#include <lo/lo.h>
#include <netdb.h>
#include <sys/socket.h>

#include <cmath>
#include <cstring>

namespace vxbridge {

namespace {

// Receivers handle NaN and infinities badly; the analyzer never writes them,
// but the record is shared memory anyone may write.
float Finite(float v)
{
    return std::isfinite(v) ? v : 0.0f;
}

}  // namespace

TResolvedAddress ResolveEndpoint(const TEndpoint& endpoint, int type, const std::string& option)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = type;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const int rc = getaddrinfo(endpoint.Host.c_str(), std::to_string(endpoint.Port).c_str(), &hints, &found);
    if (rc != 0 || found == nullptr)
        throw EBridgeSetup(option + " " + endpoint.Text() + ": cannot resolve the host '" + endpoint.Host +
                           "': " + gai_strerror(rc));
    TResolvedAddress resolved;
    std::memcpy(&resolved.Address, found->ai_addr, found->ai_addrlen);
    resolved.Length = found->ai_addrlen;
    freeaddrinfo(found);
    return resolved;
}

std::string NumericHost(const TEndpoint& endpoint, int type, const std::string& option)
{
    const TResolvedAddress resolved = ResolveEndpoint(endpoint, type, option);
    char host[NI_MAXHOST];
    const int named = getnameinfo(reinterpret_cast<const sockaddr*>(&resolved.Address), resolved.Length, host,
                                  sizeof host, nullptr, 0, NI_NUMERICHOST);
    if (named != 0)
        throw EBridgeSetup(option + " " + endpoint.Text() + ": " + gai_strerror(named));
    return host;
}

TOscOutput::TOscOutput(const std::vector<TEndpoint>& targets, const std::string& prefix)
    : beat_(prefix + "/beat"),
      count_(prefix + "/beat/count"),
      bpm_(prefix + "/bpm"),
      level_(prefix + "/level"),
      levelNorm_(prefix + "/level/norm"),
      clipping_(prefix + "/clipping"),
      active_(prefix + "/active")
{
    band_.resize(SoundMapRecord::kUsedBands);
    bandNorm_.resize(SoundMapRecord::kUsedBands);
    for (int b = kFirstBand; b <= kLastBand; ++b) {
        band_[static_cast<std::size_t>(b)] = prefix + "/band/" + std::to_string(b);
        bandNorm_[static_cast<std::size_t>(b)] = band_[static_cast<std::size_t>(b)] + "/norm";
    }
    try {
        for (const auto& t : targets) {
            const std::string host = NumericHost(t, SOCK_DGRAM, "--osc");
            lo_address a = lo_address_new(host.c_str(), std::to_string(t.Port).c_str());
            if (a == nullptr)
                throw EBridgeSetup("--osc " + t.Text() + ": cannot set up the OSC target");
            targets_.push_back(a);
        }
    } catch (...) {
        for (lo_address a : targets_)
            lo_address_free(a);
        throw;
    }
}

TOscOutput::~TOscOutput()
{
    for (lo_address a : targets_)
        lo_address_free(a);
}

void TOscOutput::SendFloat(const std::string& path, float value)
{
    lo_message m = lo_message_new();
    lo_message_add_float(m, Finite(value));
    for (lo_address a : targets_)
        lo_send_message(a, path.c_str(), m);
    lo_message_free(m);
}

void TOscOutput::SendInt(const std::string& path, int value)
{
    lo_message m = lo_message_new();
    lo_message_add_int32(m, value);
    for (lo_address a : targets_)
        lo_send_message(a, path.c_str(), m);
    lo_message_free(m);
}

void TOscOutput::Beat(const TBeat& beat)
{
    SendFloat(beat_, 1.0f);
    SendInt(count_, static_cast<int>(beat.Count));
    if (beat.Bpm > 0.0f) {
        lo_message m = lo_message_new();
        lo_message_add_float(m, beat.Bpm);
        lo_message_add_int32(m, beat.Locked ? 1 : 0);
        for (lo_address a : targets_)
            lo_send_message(a, bpm_.c_str(), m);
        lo_message_free(m);
    }
}

void TOscOutput::Release()
{
    SendFloat(beat_, 0.0f);
}

void TOscOutput::Levels(const TLevels& levels, const TLevelChanges::TChanged& changed)
{
    if (changed.Level) {
        SendFloat(level_, levels.Level);
        SendFloat(levelNorm_, NormLevel(levels.Level));
    }
    for (int b = kFirstBand; b <= kLastBand; ++b) {
        const auto i = static_cast<std::size_t>(b);
        if (!changed.Bands[i])
            continue;
        SendFloat(band_[i], levels.Bands[i]);
        SendFloat(bandNorm_[i], NormBand(levels.Bands[i]));
    }
    if (changed.Clipping)
        SendInt(clipping_, levels.Clipping != 0 ? 1 : 0);
}

void TOscOutput::Active(int active)
{
    SendInt(active_, active);
}

}  // namespace vxbridge
