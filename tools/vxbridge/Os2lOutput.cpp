#include "Os2lOutput.h"

#include <sstream>

#include <avahi-client/client.h>
#include <avahi-client/lookup.h>
#include <avahi-common/error.h>
#include <avahi-common/simple-watch.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <linux/sockios.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "OscOutput.h"

namespace vxbridge {

namespace {

constexpr const char* kServiceType = "_os2l._tcp";
// Whatever a server sends is read and thrown away, a bounded amount per
// service call so that a flood cannot hold up the beats.
constexpr int kDrainReads = 16;
constexpr std::size_t kDrainBuffer = 4096;
constexpr int kSendBuffer = 2048;  // the system doubles it, and keeps at least 4 KB
// Longer than a delayed acknowledgement (at most 200 ms).
constexpr std::int64_t kMinIntervalNs = 250'000'000;

std::string Errno(int e)
{
    return std::strerror(e);
}

}  // namespace

bool TOs2lServer::SameAddress(const TOs2lServer& other) const
{
    if (Addresses.size() != other.Addresses.size())
        return false;
    for (std::size_t i = 0; i < Addresses.size(); ++i)
        if (Addresses[i].Length != other.Addresses[i].Length ||
            std::memcmp(&Addresses[i].Address, &other.Addresses[i].Address, Addresses[i].Length) != 0)
            return false;
    return true;
}

TOs2lServer ResolveOs2lServer(const TEndpoint& endpoint)
{
    TOs2lServer s;
    s.Addresses = ResolveEndpoint(endpoint, SOCK_STREAM, "--os2l");
    s.Text = endpoint.Text();
    return s;
}

// --- the TCP client -------------------------------------------------------------

TOs2lClient::~TOs2lClient()
{
    Close();
}

void TOs2lClient::Close()
{
    if (fd_ >= 0) {
        // Whatever still waits here is stale: thrown away, not sent after the close.
        const linger abort{1, 0};
        ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
        ::close(fd_);
    }
    fd_ = -1;
    state_ = EState::Idle;
    pending_.clear();
    unackedSinceNs_.reset();
}

void TOs2lClient::SetServer(const std::optional<TOs2lServer>& server)
{
    if (server.has_value() == server_.has_value() && (!server || server->SameAddress(*server_)))
        return;
    server_ = server;
    if (state_ == EState::Connecting)
        Close();  // aimed at a server that is no longer the first
    failureReported_ = false;
    nextAttemptNs_ = 0;
    address_ = 0;
}

void TOs2lClient::StartConnect(std::int64_t nowNs)
{
    attemptNs_ = nowNs;
    nextAttemptNs_ = nowNs + kOs2lRetryNs;
    connectedTo_ = *server_;
    if (address_ >= connectedTo_.Addresses.size())
        address_ = 0;
    const TResolvedAddress& a = connectedTo_.Addresses[address_];
    fd_ = ::socket(a.Address.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd_ < 0) {
        Fail(Errno(errno));
        return;
    }
    // Each object in a segment of its own, sent at once; and room for a
    // few objects only, so that little can wait on this side.
    const int one = 1;
    ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    ::setsockopt(fd_, SOL_SOCKET, SO_SNDBUF, &kSendBuffer, sizeof kSendBuffer);
    if (::connect(fd_, reinterpret_cast<const sockaddr*>(&a.Address), a.Length) == 0) {
        state_ = EState::Connected;
        notify_("OS2L: connected to " + connectedTo_.Text);
        failureReported_ = false;
    } else if (errno == EINPROGRESS) {
        state_ = EState::Connecting;
    } else {
        Fail(Errno(errno));
    }
}

void TOs2lClient::Fail(const std::string& why)
{
    Close();
    // The host's next address at once; after the last, the first again in 2 s.
    if (++address_ < connectedTo_.Addresses.size()) {
        nextAttemptNs_ = attemptNs_;
        return;
    }
    address_ = 0;
    if (!failureReported_)
        notify_("OS2L: cannot connect to " + connectedTo_.Text + ": " + why + "; trying again every 2 s");
    failureReported_ = true;
}

void TOs2lClient::Lose(const std::string& why, std::int64_t nowNs)
{
    Close();
    nextAttemptNs_ = nowNs + kOs2lRetryNs;
    failureReported_ = false;
    notify_("OS2L: " + why + " (" + connectedTo_.Text + "); connecting again in 2 s, beats are dropped until then");
}

bool TOs2lClient::Stalled(std::int64_t nowNs)
{
    int queued = 0;
    if (::ioctl(fd_, SIOCOUTQ, &queued) != 0 || queued == 0) {
        unackedSinceNs_.reset();
        return false;
    }
    return unackedSinceNs_ && nowNs - *unackedSinceNs_ > intervalNs_;
}

bool TOs2lClient::Flush(std::int64_t nowNs)
{
    if (Stalled(nowNs)) {
        Lose("the server does not read", nowNs);
        return false;
    }
    while (!pending_.empty()) {
        const ssize_t n = ::send(fd_, pending_.data(), pending_.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            pending_.erase(0, static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
            return true;
        Lose("the connection broke: " + Errno(errno), nowNs);
        return false;
    }
    return true;
}

void TOs2lClient::Service(std::int64_t nowNs)
{
    switch (state_) {
    case EState::Idle:
        if (server_ && nowNs >= nextAttemptNs_)
            StartConnect(nowNs);
        return;
    case EState::Connecting: {
        pollfd p{fd_, POLLOUT, 0};
        if (::poll(&p, 1, 0) <= 0) {
            if (nowNs - attemptNs_ >= kOs2lRetryNs)
                Fail("no answer");
            return;
        }
        int error = 0;
        socklen_t len = sizeof error;
        if (::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &len) != 0)
            error = errno;
        if (error != 0) {
            Fail(Errno(error));
            return;
        }
        state_ = EState::Connected;
        failureReported_ = false;
        notify_("OS2L: connected to " + connectedTo_.Text);
        return;
    }
    case EState::Connected: {
        char buf[kDrainBuffer];
        for (int i = 0; i < kDrainReads; ++i) {
            const ssize_t n = ::recv(fd_, buf, sizeof buf, MSG_DONTWAIT);
            if (n > 0)
                continue;
            if (n == 0) {
                Lose("the server closed the connection", nowNs);
                return;
            }
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
                break;
            Lose("the connection broke: " + Errno(errno), nowNs);
            return;
        }
        Flush(nowNs);
        return;
    }
    }
}

bool TOs2lClient::Send(const std::string& object, std::int64_t nowNs, std::int64_t intervalNs)
{
    if (state_ != EState::Connected || !Flush(nowNs) || !pending_.empty())
        return false;
    intervalNs_ = std::max(intervalNs, kMinIntervalNs);
    if (!unackedSinceNs_)
        unackedSinceNs_ = nowNs;
    const ssize_t n = ::send(fd_, object.data(), object.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n == static_cast<ssize_t>(object.size()))
        return true;
    if (n >= 0) {
        pending_ = object.substr(static_cast<std::size_t>(n));
        return true;
    }
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
        return false;
    Lose("the connection broke: " + Errno(errno), nowNs);
    return false;
}

std::string TOs2lClient::StateText() const
{
    switch (state_) {
    case EState::Connected:
        return "os2l " + connectedTo_.Text;
    case EState::Connecting:
        return "os2l connecting to " + connectedTo_.Text;
    case EState::Idle:
        break;
    }
    return server_ ? "os2l not connected (" + server_->Text + ")" : "os2l looking for a server";
}

// --- the DNS-SD browser -----------------------------------------------------------

namespace {

void ClientCallback(AvahiClient* client, AvahiClientState state, void* self)
{
    static_cast<TOs2lBrowser*>(self)->OnClientState(client, state);
}

void BrowseCallback(AvahiServiceBrowser*, AvahiIfIndex interface, AvahiProtocol protocol, AvahiBrowserEvent event,
                    const char* name, const char* type, const char* domain, AvahiLookupResultFlags, void* self)
{
    static_cast<TOs2lBrowser*>(self)->OnBrowse(interface, protocol, event, name, type, domain);
}

void ResolveCallback(AvahiServiceResolver* resolver, AvahiIfIndex interface, AvahiProtocol protocol,
                     AvahiResolverEvent event, const char* name, const char* type, const char* domain, const char*,
                     const AvahiAddress* address, uint16_t port, AvahiStringList*, AvahiLookupResultFlags, void* self)
{
    TOs2lBrowser::TFound key;
    key.Interface = interface;
    key.Protocol = protocol;
    key.Name = name != nullptr ? name : "";
    key.Type = type != nullptr ? type : "";
    key.Domain = domain != nullptr ? domain : "";
    std::optional<TOs2lServer> server;
    if (event == AVAHI_RESOLVER_FOUND && address != nullptr) {
        TOs2lServer s;
        TResolvedAddress r;
        if (address->proto == AVAHI_PROTO_INET) {
            sockaddr_in in{};
            in.sin_family = AF_INET;
            in.sin_port = htons(port);
            in.sin_addr.s_addr = address->data.ipv4.address;
            std::memcpy(&r.Address, &in, sizeof in);
            r.Length = sizeof in;
        } else if (address->proto == AVAHI_PROTO_INET6) {
            sockaddr_in6 in6{};
            in6.sin6_family = AF_INET6;
            in6.sin6_port = htons(port);
            std::memcpy(&in6.sin6_addr, address->data.ipv6.address, sizeof in6.sin6_addr);
            in6.sin6_scope_id = interface >= 0 ? static_cast<std::uint32_t>(interface) : 0;  // link-local needs it
            std::memcpy(&r.Address, &in6, sizeof in6);
            r.Length = sizeof in6;
        }
        char text[AVAHI_ADDRESS_STR_MAX];
        avahi_address_snprint(text, sizeof text, address);
        // Through a stream: string concatenation here makes GCC 12 at -O3
        // see a false overlap (-Wrestrict).
        const bool v6 = address->proto == AVAHI_PROTO_INET6;
        std::ostringstream described;
        described << '\'' << key.Name << "' at " << (v6 ? "[" : "") << text << (v6 ? "]" : "") << ':' << port;
        s.Text = described.str();
        if (r.Length != 0) {
            s.Addresses.push_back(r);
            server = s;
        }
    }
    avahi_service_resolver_free(resolver);
    static_cast<TOs2lBrowser*>(self)->OnResolved(key, server);
}

bool SameService(const TOs2lBrowser::TFound& a, const TOs2lBrowser::TFound& b)
{
    return a.Interface == b.Interface && a.Protocol == b.Protocol && a.Name == b.Name && a.Type == b.Type &&
           a.Domain == b.Domain;
}

}  // namespace

TOs2lBrowser::TOs2lBrowser(TNotify notify) : notify_(std::move(notify))
{
    poll_ = avahi_simple_poll_new();
}

TOs2lBrowser::~TOs2lBrowser()
{
    StopClient();
    if (poll_ != nullptr)
        avahi_simple_poll_free(poll_);
}

void TOs2lBrowser::StopClient()
{
    if (client_ != nullptr)
        avahi_client_free(client_);  // frees the browser and resolvers too
    client_ = nullptr;
    browser_ = nullptr;
    found_.clear();
}

void TOs2lBrowser::NoDaemon(const std::string& why)
{
    if (!noDaemonReported_)
        notify_(std::string("OS2L: cannot look for ") + kServiceType + " servers: no Avahi daemon runs (avahi: " +
                why + "); start avahi-daemon or give --os2l HOST:PORT. Looking again every 2 s");
    noDaemonReported_ = true;
    browsingReported_ = false;
}

void TOs2lBrowser::StartClient(std::int64_t nowNs)
{
    nextStartNs_ = nowNs + kOs2lRetryNs;
    clientFailed_ = false;
    int error = 0;
    // NO_FAIL: with the system bus up but no daemon yet, the client waits
    // for the daemon (state CONNECTING) instead of failing.
    AvahiClient* c = avahi_client_new(avahi_simple_poll_get(poll_), AVAHI_CLIENT_NO_FAIL, ClientCallback, this, &error);
    if (c == nullptr) {
        NoDaemon(avahi_strerror(error));
        return;
    }
    client_ = c;
}

void TOs2lBrowser::Service(std::int64_t nowNs)
{
    if (poll_ == nullptr)
        return;
    if (clientFailed_)
        StopClient();
    if (client_ == nullptr && nowNs >= nextStartNs_)
        StartClient(nowNs);
    if (client_ != nullptr)
        avahi_simple_poll_iterate(poll_, 0);
}

void TOs2lBrowser::OnClientState(AvahiClient* client, int state)
{
    switch (state) {
    case AVAHI_CLIENT_S_RUNNING:
        client_ = client;  // this may run inside avahi_client_new, before it returns
        if (browser_ == nullptr) {
            browser_ = avahi_service_browser_new(client, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC, kServiceType, nullptr,
                                                 static_cast<AvahiLookupFlags>(0), BrowseCallback, this);
            if (browser_ == nullptr) {
                notify_(std::string("OS2L: cannot browse for ") + kServiceType + ": " +
                        avahi_strerror(avahi_client_errno(client)));
                clientFailed_ = true;
                return;
            }
        }
        if (!browsingReported_)
            notify_(std::string("OS2L: looking for ") + kServiceType + " servers through Avahi");
        browsingReported_ = true;
        noDaemonReported_ = false;
        return;
    case AVAHI_CLIENT_CONNECTING:
        NoDaemon("not started yet");
        return;
    case AVAHI_CLIENT_FAILURE:
        NoDaemon(avahi_strerror(avahi_client_errno(client)));
        clientFailed_ = true;  // freed outside the callback
        return;
    default:
        return;
    }
}

void TOs2lBrowser::OnBrowse(int interface, int protocol, int event, const char* name, const char* type,
                            const char* domain)
{
    TFound key;
    key.Interface = interface;
    key.Protocol = protocol;
    key.Name = name != nullptr ? name : "";
    key.Type = type != nullptr ? type : "";
    key.Domain = domain != nullptr ? domain : "";
    if (event == AVAHI_BROWSER_NEW) {
        for (const auto& f : found_)
            if (SameService(f, key))
                return;
        found_.push_back(key);
        if (avahi_service_resolver_new(client_, interface, protocol, name, type, domain, AVAHI_PROTO_UNSPEC,
                                       static_cast<AvahiLookupFlags>(0), ResolveCallback, this) == nullptr)
            notify_("OS2L: cannot resolve the service '" + key.Name + "'");
    } else if (event == AVAHI_BROWSER_REMOVE) {
        std::erase_if(found_, [&](const TFound& f) { return SameService(f, key); });
    } else if (event == AVAHI_BROWSER_FAILURE) {
        clientFailed_ = true;
    }
}

void TOs2lBrowser::OnResolved(const TFound& key, const std::optional<TOs2lServer>& server)
{
    for (auto& f : found_) {
        if (!SameService(f, key))
            continue;
        if (server && !f.Server)
            notify_("OS2L: found the server " + server->Text);
        f.Server = server;
        return;
    }
}

std::optional<TOs2lServer> TOs2lBrowser::First() const
{
    for (const auto& f : found_)
        if (f.Server)
            return f.Server;
    return std::nullopt;
}

}  // namespace vxbridge
