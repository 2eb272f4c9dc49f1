// Program entry: the application object, the main window (its FormCreate
// runs), the hidden About window, the message loop.
#include <QApplication>
#include <QMessageBox>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <cerrno>
#include <memory>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <string>

#include "BusWindowMessages.h"
#include "KeyForwarding.h"
#include "MainWindow.h"
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
// request, without a box (an unwritable settings file is reported on
// stderr). A second signal while that runs ends the process at once.
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

// Asks the running analyzer's window to come to the front. A message of
// the analyzer's own range, beside the host's close (1024 + 1500).
constexpr std::uint32_t kRaiseWindowMessage = 1024 + 1502;

// One analyzer per segment name and user: a second one would write the
// same record, and the host would read a mix of both. The claim is an
// abstract socket name, which the kernel frees when the process ends, so a
// crashed analyzer's leftovers (its segment) never block a start, and
// analyzers on other segment names run beside it.
int ClaimSegment(const std::string& segment)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -2;  // no claim possible: start as before
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    const std::string name = "corvane-vxsound-" + std::to_string(::getuid()) + "-" + segment;
    const std::size_t length = std::min(name.size(), sizeof address.sun_path - 1);
    std::copy_n(name.data(), length, address.sun_path + 1);  // sun_path[0] = 0: abstract
    const auto size = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + length);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), size) == 0)
        return fd;
    const bool taken = errno == EADDRINUSE;
    ::close(fd);
    return taken ? -1 : -2;
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName("Corvane Audio Analyzer");
    // Docks and the launcher's StartupWMClass match the window by these.
    QGuiApplication::setDesktopFileName("org.corvane.AudioAnalyzer");

    // Decided before FormCreate, which opens the segment and writes the record.
    const std::string segment = TVxSoundApp::SegmentName();
    const int claim = ClaimSegment(segment);
    if (claim == -1) {
        std::fprintf(stderr, "vxsound: An analyzer already runs on segment %s; this start ends\n", segment.c_str());
        BusWindowMessages messages(QDBusConnection::sessionBus(), kKeyTargetQueryTimeoutMs);
        if (const WindowHandle running = messages.FindWindowByClass(kAnalyzerWindowClass))
            messages.SendTimeout(running, kRaiseWindowMessage, 0, 0, 2000);
        // Nobody could answer a box on the offscreen platform.
        if (QGuiApplication::platformName() != QLatin1String("offscreen"))
            QMessageBox::information(nullptr, QApplication::applicationName(),
                                     QString::fromLatin1("An analyzer already runs (segment %1).\n"
                                                         "Its window has been brought to the front.")
                                         .arg(QString::fromStdString(segment)));
        // Not 0: whoever started this process did not get an analyzer of its own.
        return 1;
    }

    TPulseWaveDriver driver;
    SetWaveInDriver(&driver);

    int status = 0;
    {
        TVxSoundWindow window;
        // The window of class TVxSoundApp on the session bus: the host's
        // close request reaches it there, and keys go out through the bus.
        BusWindow bus(QString::fromLatin1(kAnalyzerWindowClass),
                      [&window](std::uint32_t message, std::uint64_t wParam, std::int64_t lParam) -> std::int64_t {
                          if (message == kRaiseWindowMessage) {
                              if (window.isMinimized())
                                  window.showNormal();
                              window.raise();
                              window.activateWindow();
                              return 1;
                          }
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
        // Whoever stopped it (a service manager, a script) learns that the
        // settings were lost; the reason is on stderr.
        if (status == 0 && window.App.SettingsUnsaved)
            status = 1;
    }
    SetCaptureUi(nullptr);
    SetWaveInDriver(nullptr);
    if (claim >= 0)
        ::close(claim);
    return status;
}
