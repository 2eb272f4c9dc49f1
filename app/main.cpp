// Program entry: the application object, the main window (its FormCreate
// runs), the hidden About window, the message loop.
#include <QApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cerrno>
#include <memory>

#include <fcntl.h>
#include <unistd.h>

#include "PulseWaveDriver.h"
#include "VxSoundApp.h"
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

std::unique_ptr<QSocketNotifier> InstallCloseSignals(TVxSoundApp& window)
{
    if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return nullptr;
    auto notifier = std::make_unique<QSocketNotifier>(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(notifier.get(), &QSocketNotifier::activated, &window, [&window] {
        char bytes[16];
        while (::read(g_signalPipe[0], bytes, sizeof bytes) > 0) {
        }
        window.HostMessage(kHostCloseMessage, 0, 0);
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
        TVxSoundApp window;
        const auto closeSignals = InstallCloseSignals(window);
        window.FormCreate();
        // A close while start-up's error box was open has already ended it.
        if (!window.Closed) {
            auto about = std::make_unique<TAboutForm>();
            AboutForm = about.get();
            if (window.Minimized())
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
