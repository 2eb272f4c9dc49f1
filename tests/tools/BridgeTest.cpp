// vxbridge: its decisions without a network (beat count, the analysis'
// tempo tracker over the bridge's clock, OS2L's change rule and object,
// the 0..1 scales, level changes, the command line), then the program
// without the analyzer, the record made here as the analyzer would make
// it: OS2L servers that misbehave, and no Avahi daemon.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <bit>
#include <chrono>
#include <cstring>
#include <limits>
#include <random>
#include <sstream>
#include <tuple>

#include "BridgeCore.h"
#include "BridgeOptions.h"
#include "Platform.h"
#include "ToolRun.h"

namespace {

using namespace vxbridge;

class TManualClock final : public VxPlatform::ITickClock {
public:
    std::uint32_t Now() override { return now; }
    std::uint32_t now = 0;
};

TEST(BridgeBeats, CountTempoLockTimeOutAndChangeFollowTheTrigs)
{
    const struct {
        std::uint32_t atMs;
        bool change;
        float bpm;  // 0: none yet
        bool locked;
        std::uint32_t resetAt = 0;  // a new analyzer run first: the tempo starts afresh
        std::uint32_t unseenMs = 0;  // the poll before the take was this long ago
    } steps[] = {
        {1000, true, 0.0f, false},     // the first beat; its interval is from the start
        {1500, false, 0.0f, false},    // one interval only: nothing agrees yet
        {2000, false, 120.0f, true},   // two agreeing intervals lock
        {2500, false, 120.0f, true},
        {4700, true, 120.0f, true},    // gap of 2.2 s (> 2 beats): change; 95 blocks keep the lock
        {5200, false, 120.0f, true},
        {8500, true, 120.0f, false},   // 3.3 s = 142 blocks: the lock timed out
        {8800, false, 120.0f, false},  // 200 BPM begins, nothing agrees yet
        {9100, true, 200.0f, true},    // locks on 200: a tempo jump of more than 20 %
        {9400, false, 200.0f, true},
        {10300, true, 0.0f, false, 10000},
        {10800, false, 0.0f, false},
        {11300, false, 120.0f, true},
        // Polls 150 and 310 ms late on a busy machine: the two stretched
        // intervals agree with each other (92 and 91 BPM) but are not used,
        // nor is the short one after them.
        {11950, false, 120.0f, true, 0, 160},
        {12610, false, 120.0f, true, 0, 320},
        {12800, false, 120.0f, true},
        {13300, false, 120.0f, true},
        {13800, false, 120.0f, true},
    };
    TManualClock clock;
    VxPlatform::SetTickClock(&clock);
    TBeatCounter counter;
    counter.ResetTempo(0);
    std::uint32_t count = 0;
    for (const auto& s : steps) {
        SCOPED_TRACE(s.atMs);
        if (s.resetAt != 0) {
            clock.now = s.resetAt;
            counter.ResetTempo(s.resetAt);
        }
        clock.now = s.atMs;
        const TBeat beat = counter.Take(s.atMs, 0.0f, s.unseenMs);
        EXPECT_EQ(beat.Count, ++count);
        EXPECT_EQ(beat.Change, s.change);
        EXPECT_NEAR(beat.Bpm, s.bpm, 0.01f);
        EXPECT_EQ(beat.Locked, s.locked);
    }
    VxPlatform::SetTickClock(nullptr);
}

TEST(BridgeBeats, Os2lObjectAndScales)
{
    EXPECT_EQ(Os2lBeatJson({1, 0.0f, false, true, 0.0f}),
              R"({"evt":"beat","change":true,"pos":1,"bpm":0.00,"strength":0.000})");
    EXPECT_EQ(Os2lBeatJson({42, 120.456f, true, false, 0.5f}),
              R"({"evt":"beat","change":false,"pos":42,"bpm":120.46,"strength":0.500})");
    // For faders of 0..1: log scales, the level full at 256, bands full at
    // 1000 (vxhost watch's).
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const std::tuple<float (*)(float), float, float> scales[] = {
        {NormLevel, 0.0f, 0.0f}, {NormLevel, -3.0f, 0.0f}, {NormLevel, nan, 0.0f}, {NormLevel, 15.0f, 0.4997f},
        {NormLevel, 256.0f, 1.0f}, {NormLevel, 5000.0f, 1.0f}, {NormBand, 0.0f, 0.0f}, {NormBand, -1.0f, 0.0f},
        {NormBand, nan, 0.0f},
        {NormBand, 9.0f, 0.3333f}, {NormBand, 1000.0f, 1.0f}, {NormBand, 1e9f, 1.0f},
    };
    for (const auto& [scale, in, out] : scales)
        EXPECT_NEAR(scale(in), out, 1e-4f) << in;
}

TEST(BridgeLevels, OnlyChangedValuesAreSentAgain)
{
    TLevels l{10.0f, {}, 0};
    l.Bands.fill(1.0f);
    TLevelChanges changes;
    auto c = changes.Update(l);
    EXPECT_TRUE(c.Level && c.Clipping && c.Bands[1] && c.Bands[15]) << "the first comparison sends everything";
    EXPECT_FALSE(c.Bands[0]) << "band 0 is never sent";

    EXPECT_FALSE(changes.Update(l).Any());

    l.Bands[7] = 2.0f;
    l.Clipping = 1;
    c = changes.Update(l);
    EXPECT_TRUE(!c.Level && c.Clipping);
    for (int b = 1; b <= 15; ++b)
        EXPECT_EQ(c.Bands[static_cast<std::size_t>(b)], b == 7) << b;

    l.Level = std::numeric_limits<float>::quiet_NaN();
    EXPECT_TRUE(changes.Update(l).Level);
    EXPECT_FALSE(changes.Update(l).Any()) << "a NaN that stays is not resent";

    changes.Forget();
    EXPECT_TRUE(changes.Update(l).Bands[3]) << "after a new mapping, everything again";

    // Garbage in the record goes out as 0, the value and its /norm alike.
    SoundMapRecord record{};
    record.SetLevel(std::numeric_limits<float>::infinity());
    record.SetBandLevel(3, -std::numeric_limits<float>::infinity());
    record.SetBandLevel(4, 5.0f);
    const TLevels read = ReadLevels(record);
    EXPECT_EQ(read.Level, 0.0f);
    EXPECT_EQ(read.Bands[3], 0.0f);
    EXPECT_EQ(read.Bands[4], 5.0f);
}

TEST(BridgeNotices, TenAMinuteThenHowManyWereLeftOut)
{
    TNoticeLimit limit;
    int shown = 0;
    for (std::uint64_t t = 1000; t < 50000; t += 2000)  // a server failing every 2 s: 25 notices
        shown += limit.Allow(t);
    EXPECT_EQ(shown, 10);
    EXPECT_EQ(limit.LeftOut(60999), 0u) << "the minute still runs";
    EXPECT_EQ(limit.LeftOut(61000), 15u);
    EXPECT_EQ(limit.LeftOut(62000), 0u) << "said once";
    EXPECT_TRUE(limit.Allow(62000)) << "a new minute";
}

TEST(BridgeOptions, ParsesOutputsAndRejectsWhatCannotWork)
{
    const std::pair<std::vector<std::string>, std::string> cases[] = {  // what was parsed, or the error
        {{"--osc", "127.0.0.1:9000", "--osc=[::1]:9001", "--os2l"},
         "osc=127.0.0.1:9000,[::1]:9001, os2l=browse rate=25 prefix=/vx segment=ENVSEG"},
        {{"--os2l", "host:1234", "--rate", "0", "--osc-prefix", "/show/a", "--segment", "/S1"},
         "osc= os2l=host:1234 rate=0 prefix=/show/a segment=S1"},
        {{"--osc", "h:1", "--osc-prefix="}, "osc=h:1, os2l=- rate=25 prefix= segment=ENVSEG"},
        {{}, "vxbridge: nothing to send to"},
        {{"-q"}, "vxbridge: nothing to send to"},
        // An optional value is taken only from a following non-option.
        {{"--os2l", "--osc", "h:1"}, "osc=h:1, os2l=browse rate=25 prefix=/vx segment=ENVSEG"},
        {{"--os2l", "--"}, "osc= os2l=browse rate=25 prefix=/vx segment=ENVSEG"},
        {{"--osc", "h:99999"}, "vxbridge: --osc h:99999: bad port '99999' (1 to 65535)"},
        {{"--osc", "h"}, "vxbridge: --osc h: give HOST:PORT"},
        {{"--osc", ":9000"}, "the host is missing"},
        {{"--osc", "::1:9000"}, "in brackets"},
        {{"--os2l", "h:x"}, "vxbridge: --os2l h:x: bad port 'x'"},
        {{"--osc", "h:1", "--pulse-ms", "0"}, "--pulse-ms must be an integer from 1"},
        {{"--osc", "h:1", "--rate", "-1"}, "--rate must be an integer from 0 to 1000, not '-1'"},
        {{"--osc", "h:1", "--osc-prefix", "vx"}, "bad --osc-prefix 'vx'"},
        {{"--osc", "h:1", "--osc-prefix", "/a/"}, "bad --osc-prefix"},
        {{"--osc", "h:1", "--osc-prefix", "/" + std::string(80 * 1024, 'a')}, "at most 1024 characters"},
        {{"--osc", "h:1", "--segment", "a/b"}, "bad segment name 'a/b'"},
        {{"--osc", "h:1", "stray"}, "unexpected argument 'stray'"},
    };
    for (const auto& [args, parsed] : cases) {
        SCOPED_TRACE(testing::PrintToString(args));
        TBridgeOptions o;
        std::ostringstream out, err;
        if (ParseBridgeOptions(args, "ENVSEG", o, out, err) != vxtools::EParseOutcome::Run) {
            EXPECT_NE(err.str().find(parsed), std::string::npos) << err.str();
            continue;
        }
        std::string osc;
        for (const auto& e : o.Osc)
            osc += e.Text() + ",";
        EXPECT_EQ("osc=" + osc + " os2l=" + (o.Os2l ? (o.Os2lServer ? o.Os2lServer->Text() : "browse") : "-") +
                      " rate=" + std::to_string(o.Rate) + " prefix=" + o.OscPrefix + " segment=" + o.Segment,
                  parsed);
    }
}

// A listening TCP socket on 127.0.0.1 with a port of its own.
class TListener {
public:
    TListener() : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0))
    {
        // The smallest receive buffer: a server that stops reading closes
        // its window after a few objects.
        const int tiny = 1;
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &tiny, sizeof tiny);
        sockaddr_in a{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
        socklen_t len = sizeof a;
        if (::bind(fd_, reinterpret_cast<sockaddr*>(&a), len) == 0 && ::listen(fd_, 4) == 0)
            ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
        address_ = "127.0.0.1:" + std::to_string(ntohs(a.sin_port));
    }
    ~TListener() { ::close(fd_); }
    const std::string& Address() const { return address_; }

    // The next connection, whose reads give up after 3 s of silence; -1
    // after timeoutMs.
    int Accept(int timeoutMs)
    {
        pollfd p{fd_, POLLIN, 0};
        const int conn = ::poll(&p, 1, timeoutMs) > 0 ? ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC) : -1;
        const timeval limit{3, 0};
        ::setsockopt(conn, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        return conn;
    }

private:
    int fd_;
    std::string address_;
};

// Reads from a connection until `text` has arrived.
bool ReadUntil(int fd, std::string& got, const std::string& text)
{
    char buf[1024];
    while (got.find(text) == std::string::npos) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n <= 0)
            return false;
        got.append(buf, static_cast<std::size_t>(n));
    }
    return true;
}

// The record as a running analyzer leaves it: every byte but Trig and
// AnalyzerActive in a pattern that the bridge must leave alone.
std::uint8_t Analyzers(std::size_t offset)
{
    return offset == VXSM_OFF_TRIG ? 0 : offset == VXSM_OFF_ANALYZERACTIVE ? 1 : static_cast<std::uint8_t>(offset * 7 + 3);
}

// Sets Trig as the analysis does and waits until the bridge took it.
bool Taken(TSegment& record, int timeoutMs)
{
    volatile unsigned char& trig = record.bytes[VXSM_OFF_TRIG];
    trig = 1;
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (trig != 0 && std::chrono::steady_clock::now() < until)
        ::usleep(1000);
    return trig == 0;
}

// An OS2L server that hangs up at once, then talks garbage, then stops
// reading: the bridge says so, drops the beats it cannot send (never
// queues them), connects again after 2 s, ignores what the server sends
// and writes nothing into the record but Trig.
TEST(VxBridgeTool, Os2lServerThatHangsUpTalksGarbageAndStopsReading)
{
    TSegment record(TestSegmentName());
    for (std::size_t i = 0; i < VXSM_SIZE; ++i)
        record.bytes[i] = Analyzers(i);
    TListener server;
    TChild bridge;
    ASSERT_TRUE(bridge.Start({VXBRIDGE_PATH, "--segment", TestSegmentName(), "--os2l", server.Address()}));
    int conn = server.Accept(5000);
    ASSERT_GE(conn, 0) << bridge.err;
    // Beats count from the bridge's side of the connection, not this one's.
    ASSERT_TRUE(bridge.ErrHas("OS2L: connected to", 2000)) << bridge.err;
    ::close(conn);
    ASSERT_TRUE(bridge.ErrHas("the server closed the connection", 5000)) << bridge.err;
    ASSERT_TRUE(Taken(record, 2000)) << "beat 1, while disconnected";
    conn = server.Accept(5000);
    ASSERT_GE(conn, 0) << "no reconnection within 5 s:\n" << bridge.err;
    const auto again = [&](const char* text) { return bridge.err.rfind(text) != bridge.err.find(text); };
    ASSERT_TRUE(bridge.WaitFor([&] { return again("OS2L: connected to"); }, 2000)) << bridge.err;

    std::mt19937 random(7);
    std::string garbage(256 * 1024, '\0');
    std::generate(garbage.begin(), garbage.end(), [&] { return static_cast<char>(random()); });
    garbage.replace(0, 12, "{\"evt\":\"btn\"");
    ASSERT_EQ(::send(conn, garbage.data(), garbage.size(), MSG_NOSIGNAL), static_cast<ssize_t>(garbage.size()));
    std::string got;
    for (int pos = 2; pos <= 4; ++pos) {
        ASSERT_TRUE(Taken(record, 2000)) << pos;
        EXPECT_TRUE(ReadUntil(conn, got, "\"pos\":" + std::to_string(pos) + ",")) << got;
    }
    EXPECT_EQ(got.find("\"pos\":1,"), std::string::npos) << "a beat was queued: " << got;

    // The server stops reading: once its window is closed, the bridge
    // resets the connection, and none of the beats it held arrives later.
    for (int pos = 5; pos <= 64; ++pos) {
        ASSERT_TRUE(Taken(record, 2000)) << pos;
        ::usleep(20000);
    }
    EXPECT_TRUE(bridge.ErrHas("the server does not read", 3000)) << bridge.err;
    const auto readNow = [&] {
        std::string now;
        char buf[4096];
        for (ssize_t n; (n = ::recv(conn, buf, sizeof buf, MSG_DONTWAIT)) > 0;)
            now.append(buf, static_cast<std::size_t>(n));
        return now;
    };
    got = readNow();
    EXPECT_EQ(got.find("\"pos\":64,"), std::string::npos) << "the window never closed";
    ::usleep(300000);
    EXPECT_EQ(readNow(), "") << "beats held during the stall came later";
    ::close(conn);
    EXPECT_EQ(bridge.End(SIGTERM, 5000), 0) << bridge.err;  // 0 only when ended by the signal
    for (std::size_t i = 0; i < VXSM_SIZE; ++i)
        EXPECT_TRUE(i == VXSM_OFF_TRIG || record.bytes[i] == Analyzers(i)) << "the bridge wrote byte " << i;
}

// An OSC receiver on the loopback address of `family`.
class TOscReceiver {
public:
    explicit TOscReceiver(int family) : fd_(::socket(family, SOCK_DGRAM | SOCK_CLOEXEC, 0))
    {
        sockaddr_in6 a{AF_INET6, 0, 0, IN6ADDR_LOOPBACK_INIT, 0};  // sin6_port and sin_port share their place
        if (family == AF_INET)
            reinterpret_cast<sockaddr_in&>(a) = {AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
        socklen_t len = sizeof a;
        ::bind(fd_, reinterpret_cast<sockaddr*>(&a), family == AF_INET ? sizeof(sockaddr_in) : len);
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
        address = (family == AF_INET6 ? "[::1]:" : "127.0.0.1:") + std::to_string(ntohs(a.sin6_port));
        const timeval limit{0, 200000};
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    }
    ~TOscReceiver() { ::close(fd_); }

    // Waits up to timeoutMs for the message `path` with the float `value`.
    bool Got(std::string path, float value, int timeoutMs)
    {
        path.resize((path.size() / 4 + 1) * 4, '\0');
        const std::uint32_t bits = htonl(std::bit_cast<std::uint32_t>(value));
        const std::string want = path + std::string(",f\0\0", 4) + std::string(reinterpret_cast<const char*>(&bits), 4);
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        char buf[2048];
        while (std::chrono::steady_clock::now() < until)
            if (const ssize_t n = ::recv(fd_, buf, sizeof buf, 0); n > 0)
                if (want == std::string(buf, static_cast<std::size_t>(n)))
                    return true;
        return false;
    }
    std::string address;

private:
    int fd_;
};

// Every signal that would end it: it ends with status 0 after the release
// of a beat still pressed, so that no button stays lit; over IPv6 too.
// And a record value of +Inf goes out as 0, /norm included.
TEST(VxBridgeTool, EveryStopSignalReleasesTheBeat)
{
    const struct {
        int signal;
        int family;
    } cases[] = {{SIGTERM, AF_INET}, {SIGHUP, AF_INET6}, {SIGUSR1, AF_INET}, {SIGQUIT, AF_INET6}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.signal);
        TSegment record(TestSegmentName());
        record.bytes[VXSM_OFF_ANALYZERACTIVE] = 1;
        const float inf = std::numeric_limits<float>::infinity();
        std::memcpy(record.bytes + VXSM_OFF_LEVEL, &inf, sizeof inf);
        TOscReceiver osc(c.family);
        TChild bridge;
        ASSERT_TRUE(bridge.Start({VXBRIDGE_PATH, "--segment", TestSegmentName(), "--osc", osc.address, "--pulse-ms",
                                  "10000"}));
        EXPECT_TRUE(osc.Got("/vx/level/norm", 0.0f, 3000)) << bridge.err;
        ASSERT_TRUE(Taken(record, 3000)) << bridge.err;
        ASSERT_TRUE(osc.Got("/vx/beat", 1.0f, 2000)) << bridge.err;
        EXPECT_EQ(bridge.End(c.signal, 5000), 0) << bridge.err;
        EXPECT_TRUE(osc.Got("/vx/beat", 0.0f, 1000)) << "no release";
    }
}

TEST(VxBridgeTool, BrowsingWithoutAvahiSaysSoAndKeepsTakingTrigs)
{
    if (::access("/run/avahi-daemon/socket", F_OK) == 0)
        GTEST_SKIP() << "an Avahi daemon runs here";
    TSegment record(TestSegmentName());
    TChild bridge;
    ASSERT_TRUE(bridge.Start({VXBRIDGE_PATH, "--segment", TestSegmentName(), "--os2l"}));
    EXPECT_TRUE(bridge.ErrHas("no Avahi daemon runs", 10000)) << bridge.err;
    record.bytes[VXSM_OFF_ANALYZERACTIVE] = 1;
    EXPECT_TRUE(Taken(record, 2000));
    EXPECT_EQ(bridge.End(SIGTERM, 5000), 0) << bridge.err;
}

}  // namespace
