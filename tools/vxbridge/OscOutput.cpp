#include "OscOutput.h"

#include <lo/lo.h>
#include <netdb.h>
#include <sys/socket.h>

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace vxbridge {

namespace {

// Receivers handle NaN and infinities badly; the analyzer never writes them,
// but the record is shared memory anyone may write.
float Finite(float v)
{
    return std::isfinite(v) ? v : 0.0f;
}

constexpr int kClearAfterSends = 10;

}  // namespace

std::vector<TResolvedAddress> ResolveEndpoint(const TEndpoint& endpoint, int type, const std::string& option)
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
    std::vector<TResolvedAddress> usable;
    int lastError = 0;
    for (const addrinfo* a = found; a != nullptr; a = a->ai_next) {
        // A family without sockets here (IPv6 switched off) is left out.
        const int fd = ::socket(a->ai_family, type | SOCK_CLOEXEC, 0);
        if (fd < 0) {
            lastError = errno;
            continue;
        }
        ::close(fd);
        TResolvedAddress r;
        std::memcpy(&r.Address, a->ai_addr, a->ai_addrlen);
        r.Length = a->ai_addrlen;
        if (std::none_of(usable.begin(), usable.end(), [&](const TResolvedAddress& u) {
                return u.Length == r.Length && std::memcmp(&u.Address, &r.Address, r.Length) == 0;
            }))
            usable.push_back(r);
    }
    freeaddrinfo(found);
    if (usable.empty())
        throw EBridgeSetup(option + " " + endpoint.Text() + ": no address of '" + endpoint.Host +
                           "' can be used here: " + std::strerror(lastError));
    return usable;
}

std::string AddressText(const TResolvedAddress& address)
{
    char host[NI_MAXHOST], port[NI_MAXSERV];
    if (getnameinfo(reinterpret_cast<const sockaddr*>(&address.Address), address.Length, host, sizeof host, port,
                    sizeof port, NI_NUMERICHOST | NI_NUMERICSERV) != 0)
        return "?";
    return address.Address.ss_family == AF_INET6 ? std::string("[") + host + "]:" + port
                                                 : std::string(host) + ":" + port;
}

TOscOutput::TOscOutput(const std::vector<TEndpoint>& targets, const std::string& prefix, TNotify notify)
    : notify_(std::move(notify)),
      beat_(prefix + "/beat"),
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
    for (const auto& e : targets) {
        TTarget t;
        t.Text = e.Text();
        t.Addresses = ResolveEndpoint(e, SOCK_DGRAM, "--osc");
        targets_.push_back(std::move(t));
    }
    for (auto& t : targets_)
        if (!Open(t)) {
            const std::string why = "--osc " + t.Text + ": " + t.Failure;
            for (auto& o : targets_)
                if (o.Fd >= 0)
                    ::close(o.Fd);
            throw EBridgeSetup(why);
        }
}

TOscOutput::~TOscOutput()
{
    for (auto& t : targets_)
        if (t.Fd >= 0)
            ::close(t.Fd);
}

bool TOscOutput::Open(TTarget& t)
{
    if (t.Fd >= 0)
        ::close(t.Fd);
    const TResolvedAddress& a = t.Addresses[t.Current];
    t.Fd = ::socket(a.Address.ss_family, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (t.Fd >= 0 && ::connect(t.Fd, reinterpret_cast<const sockaddr*>(&a.Address), a.Length) == 0)
        return true;
    t.Failure = AddressText(a) + ": " + std::strerror(errno);
    if (t.Fd >= 0)
        ::close(t.Fd);
    t.Fd = -1;
    return false;
}

void TOscOutput::Send(const std::string& path, lo_message m)
{
    std::size_t size = 0;
    void* data = lo_message_serialise(m, path.c_str(), nullptr, &size);
    lo_message_free(m);
    if (data == nullptr)
        return;
    for (auto& t : targets_) {
        if (t.Fd < 0 && !Open(t))
            continue;
        if (::send(t.Fd, data, size, MSG_NOSIGNAL) == static_cast<ssize_t>(size)) {
            // With nobody listening, sends alternate between going out and
            // being refused: only a run of them clears the failure.
            if (++t.Successes >= kClearAfterSends)
                t.Failure.clear();
            continue;
        }
        const int error = errno;
        if (error == EAGAIN || error == EWOULDBLOCK || error == EINTR)
            continue;  // a full socket buffer: this message is lost, as UDP may lose it
        const std::string failure = AddressText(t.Addresses[t.Current]) + ": " + std::strerror(error);
        if (std::find(t.Reported.begin(), t.Reported.end(), failure) == t.Reported.end()) {
            notify_("OSC to " + t.Text + ": " + failure + (t.Addresses.size() > 1 ? "; trying its next address" : ""));
            t.Reported.push_back(failure);
        }
        t.Failure = failure;
        t.Successes = 0;
        // Nobody at this address (a refusal is reported by the send after
        // the one refused): the next of the host's addresses.
        t.Current = (t.Current + 1) % t.Addresses.size();
        Open(t);
    }
    std::free(data);
}

void TOscOutput::SendFloat(const std::string& path, float value)
{
    lo_message m = lo_message_new();
    lo_message_add_float(m, Finite(value));
    Send(path, m);
}

void TOscOutput::SendInt(const std::string& path, int value)
{
    lo_message m = lo_message_new();
    lo_message_add_int32(m, value);
    Send(path, m);
}

std::string TOscOutput::StateText() const
{
    std::string text;
    for (const auto& t : targets_)
        text += (text.empty() ? "osc " : ", ") + t.Text + (t.Failure.empty() ? "" : " (" + t.Failure + ")");
    return text;
}

void TOscOutput::Beat(const TBeat& beat)
{
    SendFloat(beat_, 1.0f);
    SendInt(count_, static_cast<int>(beat.Count));
    if (beat.Bpm > 0.0f) {
        lo_message m = lo_message_new();
        lo_message_add_float(m, Finite(beat.Bpm));
        lo_message_add_int32(m, beat.Locked ? 1 : 0);
        Send(bpm_, m);
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
