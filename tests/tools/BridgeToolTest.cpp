// vxbridge as a program, without the analyzer: the record is made here as
// the analyzer would make it. Bad command lines, OS2L servers that
// misbehave, and no Avahi daemon.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/mman.h>
#include <sys/socket.h>

#include <random>

#include "ChildProcess.h"
#include "SharedMap.h"

namespace {

// A listening TCP socket on 127.0.0.1 with a port of its own.
class TListener {
public:
    TListener()
    {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && ::listen(fd_, 4) == 0 &&
            ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len) == 0)
            port_ = ntohs(a.sin_port);
    }
    ~TListener() { ::close(fd_); }
    std::string Address() const { return "127.0.0.1:" + std::to_string(port_); }

    // The next connection, or -1 after timeoutMs.
    int Accept(int timeoutMs)
    {
        pollfd p{fd_, POLLIN, 0};
        return ::poll(&p, 1, timeoutMs) > 0 ? ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC) : -1;
    }

private:
    int fd_ = -1;
    int port_ = 0;
};

// Reads from a connection until `text` has arrived or timeoutMs passes.
bool ReadUntil(int fd, std::string& got, const std::string& text, int timeoutMs)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    char buf[1024];
    while (got.find(text) == std::string::npos) {
        pollfd p{fd, POLLIN, 0};
        if (std::chrono::steady_clock::now() >= until)
            return false;
        if (::poll(&p, 1, 20) <= 0)
            continue;
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n <= 0)
            return false;
        got.append(buf, static_cast<std::size_t>(n));
    }
    return true;
}

// The segment as a running analyzer leaves it, with every other byte set
// to a pattern that the bridge must leave alone.
class TAnalyzerRecord {
public:
    explicit TAnalyzerRecord(std::string name) : name_(std::move(name))
    {
        ::shm_unlink(("/" + name_).c_str());
        map_ = std::make_unique<TSharedMap>(PosixSharedMemory(), name_);
        for (std::size_t i = 0; i < SoundMapRecord::kSize; ++i)
            Rec().SetRawByte(i, Expected(i));
    }
    ~TAnalyzerRecord() { ::shm_unlink(("/" + name_).c_str()); }
    SoundMapRecord& Rec() { return *map_->Data; }

    // Sets Trig as the analysis does and waits until the bridge took it.
    bool Trig(int timeoutMs)
    {
        Rec().SetTrig(1);
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (Rec().Trig() != 0 && std::chrono::steady_clock::now() < until)
            ::usleep(1000);
        return Rec().Trig() == 0;
    }

    // Offsets other than Trig whose bytes changed.
    std::vector<std::size_t> ChangedBytes()
    {
        std::vector<std::size_t> changed;
        for (std::size_t i = 0; i < SoundMapRecord::kSize; ++i) {
            if (i != VXSM_OFF_TRIG && Rec().RawByte(i) != Expected(i))
                changed.push_back(i);
        }
        return changed;
    }

private:
    static std::uint8_t Expected(std::size_t i)
    {
        return i == VXSM_OFF_TRIG ? 0 : i == VXSM_OFF_ANALYZERACTIVE ? 1 : static_cast<std::uint8_t>(i * 7 + 3);
    }

    std::string name_;
    std::unique_ptr<TSharedMap> map_;
};

std::string SegmentName(const char* what)
{
    return std::string("VXBRIDGE_") + what + "_" + std::to_string(::getpid());
}

// What the bridge alone decides; the rest of its command line is
// BridgeOptions' table.
TEST(VxBridgeTool, BadCommandLinesEndWithStatus2AndSayWhy)
{
    const struct {
        std::vector<std::string> args;
        std::string message;
    } cases[] = {
        {{"--bogus"}, "vxbridge: unknown option '--bogus'\nTry 'vxbridge --help'."},
        {{"--osc", "nohost.invalid:9000"}, "vxbridge: --osc nohost.invalid:9000: cannot resolve the host 'nohost.invalid'"},
        {{"--os2l", "nohost.invalid:9000"}, "vxbridge: --os2l nohost.invalid:9000: cannot resolve the host"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        TChild bridge;
        std::vector<std::string> argv{VXBRIDGE_PATH};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        ASSERT_TRUE(bridge.Start(argv, {"VX_SEGMENT_NAME=" + SegmentName("BAD")}));
        EXPECT_EQ(bridge.End(0, 20000), 2) << bridge.err;
        EXPECT_NE(bridge.err.find(c.message), std::string::npos) << bridge.err;
    }
    EXPECT_FALSE(SharedSegmentExists(SegmentName("BAD"))) << "a bad command line made the segment";
}

// An OS2L server that hangs up at once, and one that talks garbage: the
// bridge says so, drops the beats it cannot send (never queues them),
// connects again after 2 s and writes nothing into the record but Trig.
TEST(VxBridgeTool, Os2lServersThatHangUpOrTalkGarbage)
{
    for (const bool hangsUp : {true, false}) {
        SCOPED_TRACE(hangsUp ? "hangs up" : "garbage");
        const std::string segment = SegmentName("OS2L");
        TAnalyzerRecord record(segment);
        TListener server;
        TChild bridge;
        ASSERT_TRUE(bridge.Start({VXBRIDGE_PATH, "--segment", segment, "--os2l", server.Address()}));
        int conn = server.Accept(5000);
        ASSERT_GE(conn, 0) << bridge.err;
        // Beats count from the bridge's side of the connection, not this one's.
        ASSERT_TRUE(bridge.ErrHas("OS2L: connected to", 2000)) << bridge.err;
        std::string got;
        if (hangsUp) {
            ::close(conn);
            ASSERT_TRUE(bridge.ErrHas("the server closed the connection", 5000)) << bridge.err;
            ASSERT_TRUE(record.Trig(2000)) << "beat 1, while disconnected";
            conn = server.Accept(5000);
            ASSERT_GE(conn, 0) << "no reconnection within 5 s:\n" << bridge.err;
            const auto connected = [&] { return bridge.err.find("OS2L: connected to"); };
            ASSERT_TRUE(bridge.WaitFor([&] { return bridge.err.rfind("OS2L: connected to") != connected(); }, 2000));
            ASSERT_TRUE(record.Trig(2000));
            EXPECT_TRUE(ReadUntil(conn, got, "}", 3000)) << got;
            EXPECT_NE(got.find("\"pos\":2"), std::string::npos) << got;
            EXPECT_EQ(got.find("\"pos\":1,"), std::string::npos) << "a beat was queued: " << got;
        } else {
            std::mt19937 random(7);
            std::string garbage(256 * 1024, '\0');
            for (auto& c : garbage)
                c = static_cast<char>(random());
            garbage.replace(0, 12, "{\"evt\":\"btn\"");
            ASSERT_EQ(::send(conn, garbage.data(), garbage.size(), MSG_NOSIGNAL), static_cast<ssize_t>(garbage.size()));
            for (int i = 1; i <= 3; ++i) {
                ASSERT_TRUE(record.Trig(2000)) << i;
                EXPECT_TRUE(ReadUntil(conn, got, "\"pos\":" + std::to_string(i) + ",", 3000)) << got;
            }
        }
        ::close(conn);
        EXPECT_TRUE(hangsUp || bridge.ErrHas("the server closed the connection", 5000)) << bridge.err;
        EXPECT_TRUE(bridge.Running()) << bridge.err;
        EXPECT_EQ(bridge.End(SIGTERM, 5000), 0) << bridge.err;
        EXPECT_EQ(record.ChangedBytes(), std::vector<std::size_t>{}) << "the bridge wrote more than Trig";
    }
}

TEST(VxBridgeTool, BrowsingWithoutAvahiSaysSoAndKeepsRunning)
{
    if (::access("/run/avahi-daemon/socket", F_OK) == 0)
        GTEST_SKIP() << "an Avahi daemon runs here";
    const std::string segment = SegmentName("AVAHI");
    TAnalyzerRecord record(segment);
    TChild bridge;
    ASSERT_TRUE(bridge.Start({VXBRIDGE_PATH, "--segment", segment, "--os2l"}));
    EXPECT_TRUE(bridge.ErrHas("no Avahi daemon runs", 10000)) << bridge.err;
    EXPECT_TRUE(record.Trig(2000)) << "the bridge takes trigs all the same";
    EXPECT_EQ(bridge.End(SIGTERM, 5000), 0) << bridge.err;
}

}  // namespace
