// A sound server that accepts connections but does not answer (stopped
// with SIGSTOP): start-up reports within the driver's bound instead of
// after the client library's successive time-outs, and a stop during
// capture leaves the window working and the capture resuming. The server
// is a private one of this test, so the shared test server is never
// stopped under another test.
#include "WindowFixture.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QSignalSpy>

#include <signal.h>

#include "CaptureState.h"
#include "HostileProcess.h"
#include "PulseWaveDriver.h"

namespace {

using namespace std::chrono_literals;

constexpr const char* kCause = "no sound server answers: start PulseAudio or PipeWire";

class TPrivateSoundServer {
public:
    bool Start()
    {
        char dir[] = "/tmp/vx-stall.XXXXXX";
        if (::mkdtemp(dir) == nullptr)
            return false;
        dir_ = dir;
        ::mkdir((dir_ + "/home").c_str(), 0700);
        const std::string socket = dir_ + "/native";
        server_ = "unix:" + socket;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_RUNTIME_DIR", QString::fromStdString(dir_));
        env.insert("HOME", QString::fromStdString(dir_ + "/home"));
        process_.setProcessEnvironment(env);
        process_.setStandardOutputFile(QString::fromStdString(dir_ + "/log"));
        process_.setStandardErrorFile(QString::fromStdString(dir_ + "/log"));
        process_.start("pulseaudio",
                       {"-n", "--daemonize=no", "--exit-idle-time=-1", "--disallow-exit", "-L",
                        QString::fromStdString("module-native-protocol-unix auth-anonymous=1 socket=" + socket), "-L",
                        "module-null-sink sink_name=stall rate=44100 channels=2", "-L", "module-always-sink"});
        if (!process_.waitForStarted(5000))
            return false;
        return WaitFor([&] { return RunShell("pactl -s " + server_ + " info >/dev/null 2>&1") == 0; }, 10s);
    }
    void Signal(int signal) const { ::kill(static_cast<pid_t>(process_.processId()), signal); }
    const std::string& Server() const { return server_; }
    ~TPrivateSoundServer()
    {
        if (process_.state() != QProcess::NotRunning) {
            Signal(SIGCONT);
            process_.terminate();
            if (!process_.waitForFinished(5000))
                process_.kill();
            process_.waitForFinished(5000);
        }
        if (!dir_.empty())
            RunShell("rm -rf " + dir_);
    }

private:
    QProcess process_;
    std::string dir_;
    std::string server_;
};

class SoundServerStall : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        if (!server.Start())
            GTEST_SKIP() << "no private sound server (is pulseaudio installed?)";
    }
    TPrivateSoundServer server;
};

TEST_F(SoundServerStall, StartUpReportsAMissingOrSilentServerWithinTheBound)
{
    // The bound, and the program's own start (slow under a sanitizer on a
    // busy machine); without the bound a stopped server holds the probe
    // 30 s and the analyzer two minutes.
    const qint64 boundMs = TPulseWaveDriver::kAnswerBoundMs + 10000;
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
    server.Signal(SIGSTOP);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("PULSE_SERVER", row.serverAbsent ? QStringLiteral("unix:/nonexistent/vx-no-server")
                                                    : QString::fromStdString(server.Server()));
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("VX_SEGMENT_NAME", QString::fromStdString(segment_));
        env.insert("VX_SETTINGS_DIR", QString::fromStdString(dir_.string()));
        env.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/vx-stall-test-stays-off-the-bus");
        QProcess program;
        program.setProcessEnvironment(env);
        QElapsedTimer clock;
        clock.start();
        program.start(row.program, {});
        ASSERT_TRUE(program.waitForStarted(5000));
        QString said;
        while (!said.contains(kCause) && clock.elapsed() < boundMs && program.state() == QProcess::Running) {
            program.waitForReadyRead(50);
            said += QString::fromLocal8Bit(program.readAllStandardError());
        }
        if (row.endsByItself && program.state() != QProcess::NotRunning)
            program.waitForFinished(static_cast<int>(std::max<qint64>(boundMs - clock.elapsed(), 100)));
        said += QString::fromLocal8Bit(program.readAllStandardError());
        const qint64 elapsed = clock.elapsed();
        const bool ended = program.state() == QProcess::NotRunning;
        if (!ended) {
            program.kill();
            program.waitForFinished(5000);
        }
        EXPECT_LT(elapsed, boundMs);
        EXPECT_EQ(said.count(kCause), 1) << said.toStdString();
        if (row.endsByItself) {
            EXPECT_TRUE(ended);
            EXPECT_TRUE(said.contains("Error: Unspecified error\n")) << said.toStdString();
            EXPECT_EQ(program.exitCode(), 1);
        }
    }
}

TEST_F(SoundServerStall, StoppedDuringCaptureTheWindowWorksAndCaptureResumes)
{
    qputenv("PULSE_SERVER", QByteArray::fromStdString(server.Server()));
    TPulseWaveDriver driver;
    SetWaveInDriver(&driver);
    TVxSoundApp& a = Create();
    ASSERT_TRUE(a.StartupComplete) << errors.join("; ").toStdString();
    const std::uint32_t start = BlocksReceived.load();
    ASSERT_TRUE(WaitFor([&] { return BlocksReceived.load() >= start + 20; }, 5s)) << "no capture";

    server.Signal(SIGSTOP);
    QSignalSpy ticks(a.SharedMapTimer, &QTimer::timeout);
    EXPECT_TRUE(WaitFor([&] { return ticks.count() >= 10; }, 3s)) << "the window stopped ticking";
    a.Timeline1->trigger();
    EXPECT_EQ(Rec().ShowInput(), 2);
    const std::uint32_t stalled = BlocksReceived.load();

    server.Signal(SIGCONT);
    EXPECT_TRUE(WaitFor([&] { return BlocksReceived.load() >= stalled + 20; }, 5s)) << "the capture did not resume";
    a.HostCloseRequested = true;
    a.close();
    EXPECT_TRUE(a.Closed);
    EXPECT_TRUE(errors.isEmpty()) << errors.join("; ").toStdString();
    SetWaveInDriver(driver_.get());
    qunsetenv("PULSE_SERVER");
}

}  // namespace
