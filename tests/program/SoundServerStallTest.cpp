// A sound server that accepts connections but does not answer (stopped
// with SIGSTOP): start-up reports within the driver's bound instead of
// after the client library's successive time-outs, and a stop during
// capture leaves the window working and the capture resuming. The server
// is a private one of this test, so the shared test server is never
// stopped under another test.
#include "QtWindowFixture.h"

#include <QSignalSpy>

#include "CaptureState.h"
#include "ChildProcess.h"
#include "HostileProcess.h"
#include "PulseWaveDriver.h"

namespace {

using namespace std::chrono_literals;

constexpr const char* kCause = "no sound server answers: start PulseAudio or PipeWire";

class SoundServerStall : public QtWindowTest {
protected:
    void SetUp() override
    {
        QtWindowTest::SetUp();
        const std::string socket = dir_.string() + "/native";
        server = "unix:" + socket;
        std::filesystem::create_directories(dir_ / "home");
        std::filesystem::permissions(dir_, std::filesystem::perms::owner_all);
        const bool started = pulse.Start(
            {"pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--disallow-exit", "--log-level=error", "-L",
             "module-native-protocol-unix auth-anonymous=1 socket=" + socket, "-L",
             "module-null-sink sink_name=stall rate=44100 channels=2", "-L", "module-always-sink"},
            {"XDG_RUNTIME_DIR=" + dir_.string(), "HOME=" + dir_.string() + "/home"});
        if (!started || !WaitFor([&] { return RunShell("pactl -s " + server + " info >/dev/null 2>&1") == 0; }, 10s))
            GTEST_SKIP() << "no private sound server (is pulseaudio installed?)";
    }
    void TearDown() override
    {
        if (pulse.Pid() > 0) {
            ::kill(pulse.Pid(), SIGCONT);
            pulse.End(SIGTERM, 5000);
        }
        QtWindowTest::TearDown();
    }
    TChild pulse;
    std::string server;
};

TEST_F(SoundServerStall, StartUpReportsAMissingOrSilentServerWithinTheBound)
{
    // The bound, and the program's own start (slow under a sanitizer on a
    // busy machine); without the bound a stopped server holds the probe
    // 30 s and the analyzer two minutes.
    const int boundMs = TPulseWaveDriver::kAnswerBoundMs + 10000;
    const struct {
        const char* what;
        const char* program;
        bool serverAbsent;
        bool endsByItself;  // the analyzer waits in its error box instead
    } rows[] = {
        {"probe, no server", VXPROBE_PATH, true, true},
        {"probe, stopped server", VXPROBE_PATH, false, true},
        {"analyzer, stopped server", VXSOUND_PATH, false, false},
    };
    ::kill(pulse.Pid(), SIGSTOP);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        TChild program;
        const auto start = std::chrono::steady_clock::now();
        ASSERT_TRUE(program.Start({row.program},
                                  {"PULSE_SERVER=" + (row.serverAbsent ? "unix:/nonexistent/vx-no-server" : server),
                                   "QT_QPA_PLATFORM=offscreen", "VX_SEGMENT_NAME=" + segment_,
                                   "VX_SETTINGS_DIR=" + dir_.string(),
                                   "DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent/vx-stall-test-stays-off-the-bus"}));
        program.ErrHas(kCause, boundMs);
        if (row.endsByItself) {
            EXPECT_EQ(program.End(0, boundMs), 1) << program.err;
            EXPECT_NE(program.err.find("Error: Unspecified error\n"), std::string::npos) << program.err;
        }
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(boundMs));
        std::size_t causes = 0;
        for (std::size_t at = 0; (at = program.err.find(kCause, at)) != std::string::npos; ++at)
            ++causes;
        EXPECT_EQ(causes, 1u) << program.err;
    }
}

TEST_F(SoundServerStall, StoppedDuringCaptureTheWindowWorksAndCaptureResumes)
{
    qputenv("PULSE_SERVER", QByteArray::fromStdString(server));
    TPulseWaveDriver driver;
    SetWaveInDriver(&driver);
    TVxSoundApp& a = CreateWindow();
    ASSERT_TRUE(a.StartupComplete) << ::testing::PrintToString(boxes);
    const std::uint32_t start = BlocksReceived.load();
    ASSERT_TRUE(WaitFor([&] { return BlocksReceived.load() >= start + 20; }, 5s)) << "no capture";

    ::kill(pulse.Pid(), SIGSTOP);
    QSignalSpy ticks(win->SharedMapTimer, &QTimer::timeout);
    EXPECT_TRUE(WaitFor([&] { return ticks.count() >= 10; }, 3s)) << "the window stopped ticking";
    win->MenuAction(TMenuId::Timeline1)->trigger();
    EXPECT_EQ(Rec().ShowInput(), 2);
    const std::uint32_t stalled = BlocksReceived.load();

    ::kill(pulse.Pid(), SIGCONT);
    EXPECT_TRUE(WaitFor([&] { return BlocksReceived.load() >= stalled + 20; }, 5s)) << "the capture did not resume";
    a.HostCloseRequested = true;
    win->close();
    EXPECT_TRUE(a.Closed);
    EXPECT_TRUE(boxes.empty()) << ::testing::PrintToString(boxes);
    SetWaveInDriver(driver_.get());
    qunsetenv("PULSE_SERVER");
}

}  // namespace
