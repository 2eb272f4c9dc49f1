// The window under a window manager (openbox on the virtual display), as a
// user's desktop frames and places it: geometry that round-trips through a
// close and a start, Run Minimized with Stay On Top ending iconic, and an
// About window that takes the focus and offers no minimize or maximize.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <sys/mman.h>
#include <unistd.h>

#include "SharedMap.h"
#include "VxSoundApp.h"

namespace {

QString Run(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(10000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return {};
    return QString::fromLocal8Bit(p.readAllStandardOutput());
}

QString Xprop(const QStringList& args)
{
    return Run("xprop", args);
}

// Skips unless there is a display with a window manager on it.
#define REQUIRE_WINDOW_MANAGER()                                                              \
    do {                                                                                      \
        if (qEnvironmentVariableIsEmpty("DISPLAY"))                                           \
            GTEST_SKIP() << "no DISPLAY";                                                     \
        if (!Xprop({"-root", "_NET_SUPPORTING_WM_CHECK"}).contains("window id"))              \
            GTEST_SKIP() << "no window manager on the display";                               \
    } while (0)

// The managed top-level window of process pid, or empty at the deadline.
QString ClientWindowOf(qint64 pid, QDeadlineTimer deadline)
{
    const QRegularExpression id("0x[0-9a-f]+");
    while (!deadline.hasExpired()) {
        auto it = id.globalMatch(Xprop({"-root", "_NET_CLIENT_LIST"}));
        while (it.hasNext()) {
            const QString w = it.next().captured();
            if (Xprop({"-id", w, "_NET_WM_PID"}).trimmed().endsWith("= " + QString::number(pid)))
                return w;
        }
        QTest::qWait(20);
    }
    return {};
}

// A property of window w once the window manager has set it.
QString WaitForProperty(const QString& w, const char* name, QDeadlineTimer deadline)
{
    while (!deadline.hasExpired()) {
        const QString value = Xprop({"-id", w, name});
        if (!value.isEmpty() && !value.contains("not found"))
            return value;
        QTest::qWait(20);
    }
    return {};
}

// One run of the real analyzer with its own settings folder and segment.
class TAnalyzerRun {
public:
    TAnalyzerRun(const QString& settingsDir, const QString& segment) : segment_(segment)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("VX_SETTINGS_DIR", settingsDir);
        env.insert("VX_SEGMENT_NAME", segment);
        env.remove("QT_QPA_PLATFORM");
        process.setProcessEnvironment(env);
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.setStandardOutputFile(QProcess::nullDevice());
        process.start(VXSOUND_PATH, {});
    }
    ~TAnalyzerRun()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(5000);
        }
    }
    // The host's close request; true when the analyzer ended with exit 0.
    bool Close()
    {
        QProcess host;
        host.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        host.setStandardOutputFile(QProcess::nullDevice());
        host.start(VXHOST_PATH, {"--segment", segment_, "close"});
        return host.waitForFinished(30000) && host.exitCode() == 0 && process.waitForFinished(15000) &&
               process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    }
    QProcess process;

private:
    QString segment_;
};

QString ReadFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromLatin1(f.readAll()) : QString();
}

void WriteFile(const QString& path, const QString& text)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(text.toLatin1());
}

QApplication& App()
{
    static int argc = 1;
    static char name[] = "vx_window_manager_test";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

}  // namespace

TEST(WindowManager, GeometryAndSplitsRoundTripThroughCloseAndStart)
{
    REQUIRE_WINDOW_MANAGER();
    App();
    QTemporaryDir dir;
    const QString ini = QDir(dir.path()).filePath("VxSound.ini");
    // Equalizer off: the spectrum panel's kept size is what gets saved.
    const QString settings = "[VxSound]\nSoundCardNo=0\nFormWidth=500\nFormHeight=400\nFormLeft=200\nFormTop=100\n"
                             "HSplitPos=300\nVSplitPos=320\nAutoSaveChanges=0\nRunMinimized=0\n";
    WriteFile(ini, settings);
    const QString segment = QStringLiteral("VXWMGEOM_%1").arg(::getpid());
    // Twice: a creep of the frame's size would show on the first round.
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        TAnalyzerRun run(dir.path(), segment);
        const QString w = ClientWindowOf(run.process.processId(), QDeadlineTimer(20000));
        ASSERT_FALSE(w.isEmpty()) << "the analyzer's window never appeared";
        ASSERT_FALSE(WaitForProperty(w, "_NET_FRAME_EXTENTS", QDeadlineTimer(10000)).isEmpty())
            << "the window manager never framed the window";
        ASSERT_TRUE(run.Close());
        for (const char* key : {"FormWidth=500", "FormHeight=400", "FormLeft=200", "FormTop=100", "HSplitPos=300",
                                "VSplitPos=320"})
            EXPECT_TRUE(ReadFile(ini).contains(QString(key) + "\n")) << key << "\n" << ReadFile(ini).toStdString();
    }
    ::shm_unlink(("/" + segment).toLatin1().constData());
}

TEST(WindowManager, RunMinimizedWithStayOnTopStartsIconicTenTimesInARow)
{
    REQUIRE_WINDOW_MANAGER();
    App();
    QTemporaryDir dir;
    const QString ini = QDir(dir.path()).filePath("VxSound.ini");
    const QString segment = QStringLiteral("VXWMMIN_%1").arg(::getpid());
    for (int start = 0; start < 10; ++start) {
        SCOPED_TRACE(start);
        WriteFile(ini, "[VxSound]\nRunMinimized=1\nStayOnTop=1\nFormLeft=300\nFormTop=200\n");
        // The host's segment holds what the last run or the host left;
        // every other start it says Stay On Top is off until the settings
        // are read.
        {
            TSharedMap host(PosixSharedMemory(), segment.toStdString());
            host.Data->SetStayOnTop(start % 2 == 0 ? 1 : 0);
        }
        TAnalyzerRun run(dir.path(), segment);
        const QString w = ClientWindowOf(run.process.processId(), QDeadlineTimer(20000));
        ASSERT_FALSE(w.isEmpty()) << "the analyzer's window never appeared";
        const QString state = WaitForProperty(w, "WM_STATE", QDeadlineTimer(10000));
        EXPECT_TRUE(state.contains("Iconic")) << state.toStdString();
        EXPECT_TRUE(Xprop({"-id", w, "_NET_WM_STATE"}).contains("_NET_WM_STATE_ABOVE"));
        ASSERT_TRUE(run.Close());
        EXPECT_TRUE(ReadFile(ini).contains("FormLeft=300\nFormTop=200\n")) << ReadFile(ini).toStdString();
    }
    ::shm_unlink(("/" + segment).toLatin1().constData());
}

TEST(WindowManager, AboutTakesTheFocusAndAsksForNoBorderIcons)
{
    REQUIRE_WINDOW_MANAGER();
    App();
    TAboutForm about;
    about.show();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&about, 10000)) << "the About window did not take the focus";
    const QString w = QStringLiteral("0x%1").arg(about.winId(), 0, 16);
    // Both the decoration and the function hints leave out minimize (0x20,
    // 0x08) and maximize (0x40, 0x10); openbox then offers no maximize.
    // (It keeps its iconify button whatever the hints say.)
    const QString motif = WaitForProperty(w, "_MOTIF_WM_HINTS", QDeadlineTimer(10000));
    const QStringList fields = motif.section('=', 1).split(',', Qt::SkipEmptyParts);
    ASSERT_GE(fields.size(), 3) << motif.toStdString();
    bool ok = false;
    const uint flags = fields[0].trimmed().toUInt(&ok, 16);
    const uint functions = fields[1].trimmed().toUInt(&ok, 16);
    const uint decorations = fields[2].trimmed().toUInt(&ok, 16);
    EXPECT_EQ(flags & 3u, 3u) << motif.toStdString();
    EXPECT_EQ(functions & 0x18u, 0u) << motif.toStdString();
    EXPECT_EQ(decorations & 0x60u, 0u) << motif.toStdString();
    const QString actions = WaitForProperty(w, "_NET_WM_ALLOWED_ACTIONS", QDeadlineTimer(10000));
    EXPECT_TRUE(actions.contains("_NET_WM_ACTION_CLOSE")) << actions.toStdString();
    EXPECT_FALSE(actions.contains("MAXIMIZE")) << actions.toStdString();
    EXPECT_TRUE(about.Copyright->text().contains("Corvane"));
}
