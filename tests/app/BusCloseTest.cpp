// The host's close request end to end: a running analyzer, `vxhost close`
// over the private session bus, the settings file written.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusReply>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <csignal>
#include <memory>

#include <sys/mman.h>
#include <unistd.h>

#include "SharedMap.h"

namespace {

QCoreApplication& App()
{
    static int argc = 1;
    static char name[] = "vx_bus_close_test";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* app = new QCoreApplication(argc, argv);
    return *app;
}

bool SoundServerAnswers()
{
    QProcess pactl;
    pactl.start("pactl", {"info"});
    return pactl.waitForFinished(5000) && pactl.exitStatus() == QProcess::NormalExit && pactl.exitCode() == 0;
}

// Waits up to `ms` for `done`, checking every 20 ms.
template <typename F>
bool WaitFor(int ms, F done)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > ms)
            return false;
        QThread::msleep(20);
    }
    return true;
}

QString ReadFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromLatin1(f.readAll()) : QString();
}

}  // namespace

TEST(BusClose, VxhostCloseEndsTheAnalyzerAndItSavesItsSettings)
{
    App();
    if (qgetenv("DBUS_SESSION_BUS_ADDRESS").isEmpty() || !QDBusConnection::sessionBus().isConnected())
        GTEST_SKIP() << "no session bus";
    if (!SoundServerAnswers())
        GTEST_SKIP() << "no sound server";

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString segment = QStringLiteral("VXBUSCLOSE_%1").arg(::getpid());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("VX_SETTINGS_DIR", dir.path());
    env.insert("VX_SEGMENT_NAME", segment);
    env.insert("QT_QPA_PLATFORM", "offscreen");

    QProcess analyzer;
    analyzer.setProcessEnvironment(env);
    analyzer.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    analyzer.start(VXSOUND_PATH, {});
    ASSERT_TRUE(analyzer.waitForStarted(5000));

    // Wait until this analyzer owns the window name.
    QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
    const QString name = "org.corvane.vx.TVxSoundApp";
    ASSERT_TRUE(WaitFor(15000, [&] {
        const QDBusReply<uint> pid = bus->servicePid(name);
        return analyzer.state() != QProcess::Running ||
               (pid.isValid() && static_cast<qint64>(pid.value()) == analyzer.processId());
    }) && analyzer.state() == QProcess::Running) << "the analyzer never owned " << name.toStdString();
    // Owning the name comes before start-up; the window's synchronisation
    // (which adopts the record's ShowInput) runs after it. Wait, as a host
    // would see it, until the record is active, then until a gain written to
    // it reaches the window and comes back as its readout; then put the gain
    // back the same way.
    const auto vxhost = [&](const QStringList& args) {
        QProcess tool;
        tool.setProcessEnvironment(env);
        tool.start(VXHOST_PATH, args);
        tool.waitForFinished(10000);
        return QString::fromLatin1(tool.readAllStandardOutput());
    };
    const auto gainText = [&] {
        const QString out = vxhost({"dump"});
        const qsizetype at = out.indexOf("\nGainText = ");
        if (at < 0 || !out.contains("\nAnalyzerActive = 1\n"))
            return QString();
        return out.mid(at, out.indexOf('\n', at + 1) - at);
    };
    WaitFor(15000, [&] { return !gainText().isEmpty(); });
    const QString startText = gainText();
    ASSERT_FALSE(startText.isEmpty()) << "the record never became active";
    for (const auto& [assignment, changed] : {std::pair{"Gain=10", true}, std::pair{"Gain=0", false}}) {
        vxhost({"set", assignment});
        WaitFor(15000, [&] { return (gainText() != startText) == changed; });
        ASSERT_EQ(gainText() != startText, changed) << assignment << " never reached the window";
    }

    QProcess host;
    host.setProcessEnvironment(env);
    host.setProcessChannelMode(QProcess::ForwardedChannels);
    host.start(VXHOST_PATH, {"close"});
    ASSERT_TRUE(host.waitForFinished(30000));
    EXPECT_EQ(host.exitCode(), 0);

    ASSERT_TRUE(analyzer.waitForFinished(10000));
    EXPECT_EQ(analyzer.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(analyzer.exitCode(), 0);

    QFile ini(dir.filePath("VxSound.ini"));
    ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
    const QString text = QString::fromLatin1(ini.readAll());
    for (const char* key : {"[VxSound]", "SoundCardNo=0", "FormWidth=", "FormHeight=", "FormLeft=", "FormTop=",
                            "HSplitPos=", "VSplitPos=", "AutoSaveChanges=1", "TrigDecay=15", "TrigAggr=150",
                            "NoiseLevelValue=1", "EqualizerBand15=0", "Gain=0", "ShowInput=1"})
        EXPECT_TRUE(text.contains(key)) << key << "\n" << text.toStdString();
    ::shm_unlink(("/" + segment.toStdString()).c_str());

    // Nobody left to close. The bus daemon drops the name when it sees the
    // connection close, which may come a moment after the process ended.
    WaitFor(10000, [&] { return !bus->isServiceRegistered(name).value(); });
    QProcess again;
    again.setProcessEnvironment(env);
    again.start(VXHOST_PATH, {"close"});
    ASSERT_TRUE(again.waitForFinished(10000));
    EXPECT_EQ(again.exitCode(), 1);
}

// Ctrl+C, kill and the end of the session close the analyzer as the host's
// request does: settings saved, record marked inactive, normal exit. A
// second signal while it shuts down ends it at once.
TEST(SignalClose, SignalsCloseLikeTheHostAndASecondEndsAtOnce)
{
    App();
    if (!SoundServerAnswers())
        GTEST_SKIP() << "no sound server";
    const struct {
        int first;
        int second;  // 0: none
    } cases[] = {{SIGTERM, 0}, {SIGINT, 0}, {SIGHUP, 0}, {SIGTERM, SIGINT}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "signal " << c.first << " then " << c.second);
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        const QString iniPath = dir.filePath("VxSound.ini");
        {
            QFile ini(iniPath);
            ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
            ini.write("[VxSound]\nTrigDecay=7\n");
        }
        const std::string segment = "VXSIGNAL_" + std::to_string(::getpid());
        auto map = std::make_unique<TSharedMap>(PosixSharedMemory(), segment);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("VX_SETTINGS_DIR", dir.path());
        env.insert("VX_SEGMENT_NAME", QString::fromStdString(segment));
        env.insert("QT_QPA_PLATFORM", "offscreen");
        QProcess analyzer;
        analyzer.setProcessEnvironment(env);
        analyzer.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        analyzer.start(VXSOUND_PATH, {});
        ASSERT_TRUE(analyzer.waitForStarted(5000));
        // Settings loaded: the decay from the file reached the record.
        ASSERT_TRUE(WaitFor(15000, [&] { return map->Data->TrigDecay() == 7 && map->Data->AnalyzerActive() == 1; }));

        ::kill(static_cast<pid_t>(analyzer.processId()), c.first);
        if (c.second != 0) {
            // The settings are written before the 1000 ms drain: signal again then.
            ASSERT_TRUE(WaitFor(5000, [&] { return ReadFile(iniPath).contains("FormWidth="); }));
            ::kill(static_cast<pid_t>(analyzer.processId()), c.second);
            ASSERT_TRUE(analyzer.waitForFinished(500));
            EXPECT_EQ(analyzer.exitCode(), 128 + c.second);
            EXPECT_EQ(map->Data->AnalyzerActive(), 1);  // ended before the record's last step
        } else {
            ASSERT_TRUE(analyzer.waitForFinished(10000));
            EXPECT_EQ(analyzer.exitStatus(), QProcess::NormalExit);
            EXPECT_EQ(analyzer.exitCode(), 0);
            EXPECT_EQ(map->Data->AnalyzerActive(), 0);
            EXPECT_TRUE(ReadFile(iniPath).contains("TrigDecay=7"));
            EXPECT_TRUE(ReadFile(iniPath).contains("FormWidth="));
        }
        map.reset();
        ::shm_unlink(("/" + segment).c_str());
    }
}
