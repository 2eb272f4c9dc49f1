// Program entry: the application object, the main window (its FormCreate
// runs), the hidden About window, the message loop.
#include <QApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <cerrno>
#include <memory>

#include <fcntl.h>
#include <unistd.h>

#include "BusWindowMessages.h"
#include "KeyForwarding.h"
#include "MainWindow.h"
#include "PulseWaveDriver.h"
#include "WaveInRing.h"
#include "WindowMessages.h"

#if defined(__SANITIZE_ADDRESS__)
// Fontconfig's process-long cache is not a leak of ours.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n";
}
#endif

namespace {

// SIGTERM, SIGINT and SIGHUP (kill, Ctrl+C, the end of the session) are the
// close request of whoever sent them: the handler only writes a byte into a
// pipe that the event loop watches, and the window closes as on the host's
// request. A second signal while that runs ends the process at once.
int g_signalPipe[2] = {-1, -1};
volatile std::sig_atomic_t g_signalled = 0;

extern "C" void OnCloseSignal(int signal)
{
    if (g_signalled != 0)
        ::_exit(128 + signal);
    g_signalled = signal;
    const int saved = errno;
    const char byte = 1;
    (void)!::write(g_signalPipe[1], &byte, 1);
    errno = saved;
}

std::unique_ptr<QSocketNotifier> InstallCloseSignals(TVxSoundWindow& window)
{
    if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return nullptr;
    auto notifier = std::make_unique<QSocketNotifier>(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(notifier.get(), &QSocketNotifier::activated, &window, [&window] {
        char bytes[16];
        while (::read(g_signalPipe[0], bytes, sizeof bytes) > 0) {
        }
        window.App.HostMessage(kHostCloseMessage, 0, 0);
    });
    struct sigaction action {};
    action.sa_handler = OnCloseSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(signal, &action, nullptr);
    return notifier;
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName("Corvane Audio Analyzer");
    // Docks and the launcher's StartupWMClass match the window by these.
    QGuiApplication::setDesktopFileName("org.corvane.AudioAnalyzer");

    TPulseWaveDriver driver;
    SetWaveInDriver(&driver);

    int status = 0;
    {
        TVxSoundWindow window;
        // The window of class TVxSoundApp on the session bus: the host's
        // close request reaches it there, and keys go out through the bus.
        BusWindow bus(QString::fromLatin1(kAnalyzerWindowClass),
                      [&window](std::uint32_t message, std::uint64_t wParam, std::int64_t lParam) {
                          return window.App.HostMessage(message, wParam, lParam);
                      });
        if (!bus.Published())
            std::fprintf(stderr, "vxsound: No session bus (%s): close requests and key forwarding are off\n",
                         bus.Error().toLocal8Bit().constData());
        // Only the key-target query waits for a reply: a host that does not
        // answer in time has no target, rather than holding every keystroke.
        BusWindowMessages messages(QDBusConnection::sessionBus(), kKeyTargetQueryTimeoutMs);
        window.SetKeyMessages(&messages);
        const auto closeSignals = InstallCloseSignals(window);
        window.App.FormCreate();
        // A close while start-up's error box was open has already ended it.
        if (!window.App.Closed) {
            auto about = std::make_unique<TAboutForm>();
            AboutForm = about.get();
            if (window.IsMinimized())
                window.showMinimized();
            else
                window.show();
            // Quit from FormClose ends the loop; so does the last window closing.
            status = QApplication::exec();
            AboutForm = nullptr;
        }
    }
    SetCaptureUi(nullptr);
    SetWaveInDriver(nullptr);
    return status;
}
