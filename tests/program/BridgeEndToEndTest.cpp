// The real analyzer on the private sound server, vxbridge beside it, a
// 120 BPM click track played into a null sink of the test's own: oscdump
// (liblo's receiver) must print a press and a release per click with
// consecutive counts and a locked tempo, an OS2L listener must get the
// same beats as JSON, and the bridge must ride out the analyzer closing
// and a new one starting. The bridge starts first, before the segment
// exists.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <array>
#include <fstream>

#include "RunningAnalyzer.h"

namespace {

constexpr int kClicks = 24;  // enough beats for the smoothing to settle within 1 %
constexpr int kMoreClicks = 4;

std::vector<std::string> Words(const std::string& line)
{
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string w; in >> w;)
        words.push_back(w);
    return words;
}

// A null sink of this test's own, so that no other test's sound reaches
// this analyzer, nor this test's clicks another's; and the entry of its
// monitor in the analyzer's device chooser, which lists the sources in the
// server's order after the default input: entry k is source k - 1.
struct TSink {
    explicit TSink(const std::string& name) : Name(name)
    {
        const TRunResult load =
            RunToEnd({"pactl", "load-module", "module-null-sink", "sink_name=" + Name, "rate=44100", "channels=2"});
        if (load.status != 0 || Words(load.out).empty())
            return;
        Module = Words(load.out)[0];
        std::istringstream lines(RunToEnd({"pactl", "list", "short", "sources"}).out);
        int k = 1;
        for (std::string line; std::getline(lines, line) && Entry < 0; ++k)
            if (Words(line).size() > 1 && Words(line)[1] == Name + ".monitor")
                Entry = k;
    }
    ~TSink()
    {
        if (!Module.empty())
            RunToEnd({"pactl", "unload-module", Module});
    }
    std::string Name, Module;
    int Entry = -1;
};

// A local socket of `type` bound to `port` (0: a free one), or -1.
int Bound(int type, int port)
{
    const int fd = ::socket(AF_INET, type | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0)
        return fd;
    ::close(fd);
    return -1;
}

// Someone listens on the local `port`: it cannot be bound here.
bool Taken(int type, int port)
{
    const int fd = Bound(type, port);
    if (fd >= 0)
        ::close(fd);
    return fd < 0;
}

int PortOf(int fd)
{
    sockaddr_in a{};
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    return ntohs(a.sin_port);
}

// What oscdump printed and the OS2L listener got. The record is read on
// every press: the bridge clears Trig before it sends.
struct TReceivers {
    TReceivers(TChild& dump, int os2l) : Dump(dump), Os2lFd(os2l) {}
    TChild& Dump;
    int Os2lFd;
    const SoundMapRecord* Record = nullptr;
    std::vector<std::vector<std::string>> Osc;  // path, types, arguments
    std::string Os2l;
    int TrigStillSet = 0;
    std::size_t Used = 0;

    // Takes what both got until cond() holds or timeoutMs passes.
    bool WaitFor(const std::function<bool()>& cond, int timeoutMs)
    {
        return Dump.WaitFor(
            [&] {
                for (std::size_t end; (end = Dump.out.find('\n', Used)) != std::string::npos; Used = end + 1) {
                    auto w = Words(Dump.out.substr(Used, end - Used));
                    if (w.size() < 4)
                        continue;
                    w.erase(w.begin());  // oscdump's time tag; then path, types, arguments
                    TrigStillSet += w[0] == "/vx/beat" && w[2] == "1.000000" && Record != nullptr && Record->Trig() != 0;
                    Osc.push_back(std::move(w));
                }
                char buf[4096];
                for (ssize_t n; (n = ::recv(Os2lFd, buf, sizeof buf, MSG_DONTWAIT)) > 0;)
                    Os2l.append(buf, static_cast<std::size_t>(n));
                return cond();
            },
            timeoutMs);
    }

    int Count(const std::string& path, const std::string& arg) const
    {
        return static_cast<int>(std::count_if(Osc.begin(), Osc.end(), [&](const auto& m) { return m[0] == path && m[2] == arg; }));
    }

    // OS2L objects come back to back: read as one array, they must parse.
    std::vector<QJsonObject> Os2lObjects() const
    {
        QJsonParseError error{};
        const QJsonDocument doc =
            QJsonDocument::fromJson("[" + QByteArray::fromStdString(Os2l).replace("}{", "},{") + "]", &error);
        EXPECT_TRUE(doc.isArray()) << "OS2L data that is not JSON: " << Os2l << " (" << error.errorString().toStdString() << ")";
        std::vector<QJsonObject> objects;
        for (const auto& v : doc.array())
            objects.push_back(v.toObject());
        return objects;
    }
};

// The analyzer started, and its capture stream recording.
std::string StartRecording(TRunningAnalyzer& a)
{
    if (std::string why = a.Start(); !why.empty())
        return why;
    const std::string pid = "application.process.id = \"" + std::to_string(a.Process().Pid()) + "\"";
    return a.Process().WaitFor(
               [&] {
                   const TRunResult r = RunToEnd({"pactl", "list", "source-outputs"});
                   return r.status == 0 && r.out.find(pid) != std::string::npos;
               },
               15000)
               ? ""
               : "the analyzer does not record";
}

// Clicks of 30 ms, 1 kHz, every 0.5 s, after one second of silence (the
// analyzer holds its first trig for 14 blocks after the capture starts).
bool MakeClicks(const std::string& path, int clicks)
{
    return RunToEnd({"sox", "-n", "-r", "44100", "-c", "2", "-b", "16", path, "synth", "0.03", "sine", "1000", "vol", "0.9",
                "pad", "0", "0.47", "repeat", std::to_string(clicks - 1), "pad", "1", "0"}).status == 0;
}

TEST(VxBridgeEndToEnd, BeatsOfTheRealAnalyzerReachOscAndOs2l)
{
    if (!SoundServerAnswers())
        GTEST_SKIP() << "no sound server";
    TSink sink("vxbridge_e2e_" + std::to_string(::getpid()));
    ASSERT_FALSE(sink.Module.empty()) << "cannot load a null sink";
    ASSERT_GT(sink.Entry, 0);
    TRunningAnalyzer analyzer("BRIDGE");
    analyzer.WriteIni("AutoSaveChanges=0\nRunMinimized=0\nSoundCardNo=" + std::to_string(sink.Entry) + "\n");
    const std::string dir = analyzer.dir.string();
    const std::string& segment = analyzer.segment;
    ASSERT_TRUE(MakeClicks(dir + "/clicks.wav", kClicks));
    ASSERT_TRUE(MakeClicks(dir + "/more.wav", kMoreClicks));

    // oscdump on a free port: listening once the port can no longer be bound here.
    std::unique_ptr<TChild> dump;
    int oscPort = 0;
    for (int attempt = 0; attempt < 5 && oscPort == 0; ++attempt) {
        const int probe = Bound(SOCK_DGRAM, 0);
        oscPort = PortOf(probe);
        ::close(probe);
        dump = std::make_unique<TChild>();
        ASSERT_TRUE(dump->Start({"oscdump", "-L", std::to_string(oscPort)}));
        if (!dump->WaitFor([&] { return !dump->Running() || Taken(SOCK_DGRAM, oscPort); }, 5000) || !dump->Running())
            oscPort = 0;
    }
    ASSERT_NE(oscPort, 0) << "oscdump does not listen";
    const int listener = Bound(SOCK_STREAM, 0);
    ASSERT_GE(listener, 0);
    ASSERT_EQ(::listen(listener, 2), 0);

    // The bridge first: it waits for the segment without making it.
    TChild bridge;
    ASSERT_TRUE(bridge.Start({VXBRIDGE_PATH, "--segment", segment, "--osc", "127.0.0.1:" + std::to_string(oscPort),
                              "--os2l", "127.0.0.1:" + std::to_string(PortOf(listener))}));
    ASSERT_TRUE(bridge.ErrHas("waiting for the segment /" + segment, 5000)) << bridge.err;
    pollfd p{listener, POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, 5000), 1) << "no OS2L connection:\n" << bridge.err;
    const int os2l = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    ::close(listener);
    ASSERT_GE(os2l, 0);
    ASSERT_TRUE(bridge.ErrHas("OS2L: connected to", 5000)) << bridge.err;
    EXPECT_FALSE(SharedSegmentExists(segment)) << "the bridge made the segment";

    TReceivers got(*dump, os2l);
    ASSERT_EQ(StartRecording(analyzer), "");
    got.Record = &analyzer.Record();
    ASSERT_TRUE(bridge.ErrHas("the analyzer is active", 5000)) << bridge.err;

    // The clicks: a press and a release each.
    TChild player;
    ASSERT_TRUE(player.Start({"paplay", "-d", sink.Name, dir + "/clicks.wav"}));
    got.WaitFor([&] { return !player.Running() && got.Count("/vx/beat", "0.000000") >= kClicks && !got.Os2l.empty(); },
                40000);
    got.WaitFor([] { return false; }, 300);  // anything extra shows now
    EXPECT_EQ(player.End(0, 1000), 0);

    std::vector<std::string> beats;  // "1"/"0" in arrival order
    std::vector<int> counts;
    std::vector<std::pair<float, int>> tempo;  // per count, from count 1: {bpm, locked}, bpm 0 = none
    for (const auto& m : got.Osc) {
        if (m[0] == "/vx/beat" && m.size() == 3)
            beats.push_back(m[2] == "1.000000" ? "1" : m[2] == "0.000000" ? "0" : m[2]);
        if (m[0] == "/vx/beat/count" && m.size() == 3) {
            counts.push_back(std::stoi(m[2]));
            tempo.emplace_back(0.0f, 0);
        }
        if (m[0] == "/vx/bpm" && m.size() == 4 && !tempo.empty())
            tempo.back() = {std::stof(m[2]), std::stoi(m[3])};
    }
    std::vector<std::string> pairs;
    std::vector<int> expectedCounts;
    for (int i = 1; i <= kClicks; ++i) {
        pairs.insert(pairs.end(), {"1", "0"});
        expectedCounts.push_back(i);
    }
    EXPECT_EQ(beats, pairs) << "one press and one release per click, in that order";
    EXPECT_EQ(counts, expectedCounts);
    ASSERT_EQ(tempo.size(), static_cast<std::size_t>(kClicks));
    for (std::size_t i = 4; i < tempo.size(); ++i)
        EXPECT_EQ(tempo[i].second, 1) << "not locked at beat " << i + 1;
    EXPECT_NEAR(tempo.back().first, 120.0f, 1.2f) << "the tempo of the last beat";
    EXPECT_EQ(got.TrigStillSet, 0) << "Trig was still 1 when the beat arrived";
    EXPECT_EQ(analyzer.Record().Trig(), 0);

    const auto objects = got.Os2lObjects();
    ASSERT_EQ(objects.size(), static_cast<std::size_t>(kClicks)) << got.Os2l;
    for (std::size_t i = 0; i < objects.size(); ++i) {
        SCOPED_TRACE(i + 1);
        const QJsonObject& o = objects[i];
        EXPECT_EQ(o.value("evt").toString().toStdString(), "beat");
        EXPECT_EQ(o.value("pos").toInt(), static_cast<int>(i) + 1);
        EXPECT_NEAR(o.value("bpm").toDouble(), tempo[i].first, 0.006);
        EXPECT_GT(o.value("strength").toDouble(), 0.0);
        EXPECT_LE(o.value("strength").toDouble(), 1.0);
        EXPECT_TRUE(o.value("change").isBool());
    }
    EXPECT_TRUE(objects.front().value("change").toBool()) << "the first beat starts a grid";

    // The analyzer closes: the bridge says inactive and stays.
    const int inactive = got.Count("/vx/active", "0");
    EXPECT_EQ(analyzer.Close(), 0);
    EXPECT_TRUE(got.WaitFor([&] { return got.Count("/vx/active", "0") > inactive; }, 5000));
    EXPECT_TRUE(bridge.ErrHas("the analyzer is inactive", 3000)) << bridge.err;
    ASSERT_TRUE(bridge.Running()) << bridge.err;

    // A new analyzer: the beats go on, counted on.
    ASSERT_EQ(StartRecording(analyzer), "");
    const std::size_t objectsBefore = objects.size();
    TChild more;
    ASSERT_TRUE(more.Start({"paplay", "-d", sink.Name, dir + "/more.wav"}));
    got.WaitFor([&] { return !more.Running() && got.Count("/vx/beat", "0.000000") >= kClicks + kMoreClicks; }, 20000);
    std::vector<int> later;
    for (const auto& m : got.Osc)
        if (m[0] == "/vx/beat/count" && m.size() == 3 && std::stoi(m[2]) > kClicks)
            later.push_back(std::stoi(m[2]));
    EXPECT_EQ(later, (std::vector<int>{kClicks + 1, kClicks + 2, kClicks + 3, kClicks + 4}));
    const auto all = got.Os2lObjects();
    ASSERT_EQ(all.size(), objectsBefore + kMoreClicks);
    EXPECT_EQ(all[objectsBefore].value("pos").toInt(), kClicks + 1);
    EXPECT_TRUE(all[objectsBefore].value("change").toBool()) << "the first beat of a new run starts a grid";

    EXPECT_EQ(analyzer.Close(), 0);
    EXPECT_EQ(bridge.End(SIGTERM, 5000), 0) << bridge.err;
    ::close(os2l);
}

// QLC+ as its users run it, on the example workspace (its ports made free
// ones): the bridge's OSC flashes one DMX channel and its OS2L beats toggle
// another; QLC+ sends its DMX output as E1.31 to this test.
TEST(VxBridgeQlcPlus, BeatsChangeDmxOverOscAndOs2l)
{
    constexpr int kBeats = 24;
    if (!SoundServerAnswers())
        GTEST_SKIP() << "no sound server";
    if (RunToEnd({"sh", "-c", "command -v qlcplus"}).status != 0)
        GTEST_SKIP() << "no qlcplus (Debian's package qlcplus)";
    TSink sink("vxbridge_qlc_" + std::to_string(::getpid()));
    ASSERT_GT(sink.Entry, 0) << "cannot load a null sink";
    TRunningAnalyzer analyzer("QLC");
    analyzer.WriteIni("AutoSaveChanges=0\nRunMinimized=0\nSoundCardNo=" + std::to_string(sink.Entry) + "\n");
    const std::string dir = analyzer.dir.string();
    ASSERT_TRUE(MakeClicks(dir + "/clicks.wav", kBeats));

    const int dmx = Bound(SOCK_DGRAM, 0);
    ASSERT_GE(dmx, 0);
    const auto freePort = [](int type) {
        const int fd = Bound(type, 0), port = PortOf(fd);
        ::close(fd);
        return std::to_string(port);
    };
    const std::string oscPort = freePort(SOCK_DGRAM), os2lPort = freePort(SOCK_STREAM);
    std::ostringstream workspace;
    workspace << std::ifstream(VX_SOURCE_DIR "/packaging/examples/vxbridge-qlcplus.qxw").rdbuf();
    std::string ws = workspace.str();
    using TPort = std::pair<std::string, std::string>;  // attribute, port
    for (const auto& [name, port] : {TPort{"inputPort", oscPort}, TPort{"hostPort", os2lPort},
                                     TPort{"ucastPort", std::to_string(PortOf(dmx))}}) {
        const auto at = ws.find(name + "=\"");
        ASSERT_NE(at, std::string::npos) << name;
        ws.replace(at, ws.find('"', at + name.size() + 2) + 1 - at, name + "=\"" + port + "\"");
    }
    std::ofstream(dir + "/vx.qxw") << ws;

    // Channels 1 (OSC flash) and 2 (OS2L toggle) as QLC+ sends them.
    std::array<std::uint8_t, 2> last{};
    std::array<int, 2> changes{};
    bool dmxSeen = false;
    const auto readDmx = [&] {
        std::uint8_t packet[700];
        for (ssize_t n; (n = ::recv(dmx, packet, sizeof packet, MSG_DONTWAIT)) >= 128;) {
            dmxSeen = true;
            for (std::size_t c = 0; c < 2; ++c) {
                changes[c] += (c == 0 ? packet[126 + c] > 0 && last[c] == 0 : packet[126 + c] != last[c]);
                last[c] = packet[126 + c];
            }
        }
        return false;
    };
    TChild qlc;
    ASSERT_TRUE(qlc.Start({"qlcplus", "-o", dir + "/vx.qxw", "-p"}, {"QT_QPA_PLATFORM=offscreen", "HOME=" + dir}));
    ASSERT_TRUE(qlc.WaitFor([&] { return readDmx() || (dmxSeen && Taken(SOCK_DGRAM, std::stoi(oscPort))); }, 30000))
        << "QLC+ sends no DMX or takes no OSC:\n" << qlc.err;

    TChild bridge;
    ASSERT_TRUE(bridge.Start({VXBRIDGE_PATH, "--segment", analyzer.segment, "--osc", "127.0.0.1:" + oscPort,
                              "--os2l", "127.0.0.1:" + os2lPort}));
    ASSERT_TRUE(bridge.ErrHas("OS2L: connected to", 10000)) << bridge.err;
    ASSERT_EQ(StartRecording(analyzer), "");
    ASSERT_TRUE(bridge.ErrHas("the analyzer is active", 5000)) << bridge.err;
    TChild player;
    ASSERT_TRUE(player.Start({"paplay", "-d", sink.Name, dir + "/clicks.wav"}));
    qlc.WaitFor([&] { return readDmx() || (!player.Running() && changes[0] >= kBeats && changes[1] >= kBeats); },
                kBeats * 500 + 8000);
    EXPECT_EQ(player.End(0, 1000), 0);
    const int enough = (kBeats * 95 + 99) / 100;
    EXPECT_GE(changes[0], enough) << "OSC flashes of " << kBeats << " beats\n" << bridge.err;
    EXPECT_GE(changes[1], enough) << "OS2L toggles of " << kBeats << " beats\n" << bridge.err;
    EXPECT_LE(changes[0], kBeats);
    EXPECT_EQ(analyzer.Close(), 0);
    EXPECT_EQ(bridge.End(SIGTERM, 5000), 0) << bridge.err;
    ::close(dmx);
}

}  // namespace
