// OS2L: the lighting program is the server (announced as _os2l._tcp by
// DNS-SD); the bridge connects over TCP and writes one JSON object per
// beat. Both classes are driven by the bridge's loop and never block.
#pragma once

#include <sys/socket.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "BridgeOptions.h"
#include "OscOutput.h"

struct AvahiClient;
struct AvahiSimplePoll;
struct AvahiServiceBrowser;

namespace vxbridge {

inline constexpr std::int64_t kOs2lRetryNs = 2'000'000'000;

struct TOs2lServer {
    std::vector<TResolvedAddress> Addresses;  // tried in turn
    std::string Text;  // for messages: "NAME at ADDRESS:PORT" or HOST:PORT

    bool SameAddress(const TOs2lServer& other) const;
};

// Resolves HOST:PORT given on the command line; throws EBridgeSetup.
TOs2lServer ResolveOs2lServer(const TEndpoint& endpoint);

class TOs2lClient {
public:
    explicit TOs2lClient(TNotify notify) : notify_(std::move(notify)) {}
    ~TOs2lClient();
    TOs2lClient(const TOs2lClient&) = delete;
    TOs2lClient& operator=(const TOs2lClient&) = delete;

    // The server for the next connection; a connection already made stays.
    void SetServer(const std::optional<TOs2lServer>& server);
    // Completes a connection, connects again 2 s after a failure or a lost
    // connection, reads and throws away whatever the server sends, and
    // notices when it closes.
    void Service(std::int64_t nowNs);
    // Writes the object at once when connected. While disconnected, or
    // while the server does not read, the beat is dropped (false): a late
    // beat is worth nothing to a light show. `intervalNs` is the beat
    // interval: data of ours still unacknowledged after that long means the
    // server does not read (its window is closed), and the connection is
    // reset, throwing that data away, and made again in 2 s. What the
    // server's own system has taken is beyond reach.
    bool Send(const std::string& object, std::int64_t nowNs, std::int64_t intervalNs);
    bool Connected() const { return state_ == EState::Connected; }
    std::string StateText() const;

private:
    enum class EState { Idle, Connecting, Connected };
    void StartConnect(std::int64_t nowNs);
    void Fail(const std::string& why);
    void Lose(const std::string& why, std::int64_t nowNs);
    void Close();
    bool Flush(std::int64_t nowNs);
    bool Stalled(std::int64_t nowNs);

    TNotify notify_;
    std::optional<TOs2lServer> server_;
    TOs2lServer connectedTo_;
    int fd_ = -1;
    EState state_ = EState::Idle;
    std::int64_t attemptNs_ = 0;      // when the last attempt began
    std::int64_t nextAttemptNs_ = 0;
    std::size_t address_ = 0;  // the one tried now, of server_'s
    bool failureReported_ = false;
    std::string pending_;  // the unsent rest of a partly written object
    std::optional<std::int64_t> unackedSinceNs_;  // our oldest data not yet acknowledged
    std::int64_t intervalNs_ = 0;  // of the last beat sent
};

// Browses _os2l._tcp through the Avahi daemon and keeps the services found,
// resolved, in the order they appeared.
class TOs2lBrowser {
public:
    explicit TOs2lBrowser(TNotify notify);
    ~TOs2lBrowser();
    TOs2lBrowser(const TOs2lBrowser&) = delete;
    TOs2lBrowser& operator=(const TOs2lBrowser&) = delete;

    // Runs Avahi's pending events without waiting; while no daemon answers,
    // tries again every 2 s.
    void Service(std::int64_t nowNs);
    std::optional<TOs2lServer> First() const;

    // Avahi's callbacks (C linkage through static trampolines).
    struct TFound {
        int Interface = 0;
        int Protocol = 0;
        std::string Name, Type, Domain;
        std::optional<TOs2lServer> Server;
    };
    void OnClientState(AvahiClient* client, int state);
    void OnBrowse(int interface, int protocol, int event, const char* name, const char* type, const char* domain);
    void OnResolved(const TFound& key, const std::optional<TOs2lServer>& server);

private:
    void StartClient(std::int64_t nowNs);
    void StopClient();
    void NoDaemon(const std::string& why);

    TNotify notify_;
    AvahiSimplePoll* poll_ = nullptr;
    AvahiClient* client_ = nullptr;
    AvahiServiceBrowser* browser_ = nullptr;
    std::vector<TFound> found_;
    std::int64_t nextStartNs_ = 0;
    bool clientFailed_ = false;
    bool noDaemonReported_ = false;
    bool browsingReported_ = false;
};

}  // namespace vxbridge
