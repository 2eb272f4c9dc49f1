// vxhost keys on Linux: the host's window is a name on the session bus.
#include "HostKeys.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <memory>
#include <ostream>

#include "BusWindowMessages.h"
#include "KeyForwarding.h"
#include "StopRequest.h"

namespace vxhost {

vxtools::TToolOptions KeysOptions()
{
    vxtools::TToolOptions options(
        "vxhost keys", "",
        "Stands in for the host's main window: owns the bus name\n"
        "org.corvane.vx.TVxMainForm, answers the analyzer's key-target query\n"
        "(message 0x0A40) with the window handle " +
            Hex(static_cast<std::uint64_t>(kKeysWindowHandle)) +
            ", and prints one line per\n"
            "message posted to it:\n"
            "  WM_KEYDOWN wParam=0x341 lParam=0x001e0001 key=Shift+Ctrl+A\n"
            "Ctrl+C ends it (exit status 0). Needs the session bus (exit status 1\n"
            "without one). If another host window owns the name, this one waits in\n"
            "the bus's queue and says so.");
    options.Positionals(0, 0).WithoutVersion();
    return options;
}

int RunKeys(const GlobalOptions&, std::span<const std::string> args, std::ostream& out, std::ostream& err)
{
    vxtools::TToolOptions options = KeysOptions();
    if (const auto status = ParseCommand(options, args, out, err))
        return *status;

    // Qt's bus layer needs an application object and its event loop.
    std::unique_ptr<QCoreApplication> app;
    static int argc = 1;
    static char name[] = "vxhost";
    static char* argv[] = {name, nullptr};
    if (QCoreApplication::instance() == nullptr)
        app = std::make_unique<QCoreApplication>(argc, argv);

    const TStopRequest stop;
    bool outputFailed = false;
    BusWindow window(
        QString::fromLatin1(kHostWindowClass),
        [](std::uint32_t message, std::uint64_t wParam, std::int64_t) -> std::int64_t {
            if (message == kHostKeyTargetQuery && wParam == kKeyTargetQueryWParam)
                return kKeysWindowHandle;
            return 0;
        },
        [&](std::uint64_t, std::uint32_t message, std::uint64_t wParam, std::int64_t lParam) {
            out << FormatKeyPost(message, wParam, lParam) << "\n" << std::flush;
            if (!out)
                outputFailed = true;
        });
    if (!window.Published()) {
        err << "vxhost keys: " << window.Error().toStdString() << "\n";
        return kExitFailure;
    }

    // The signal handler only sets a flag; a timer looks at it, so the
    // loop sleeps between bus messages instead of spinning.
    QEventLoop loop;
    QTimer stopCheck;
    int rounds = 0;
    bool toldQueued = false;
    QObject::connect(&stopCheck, &QTimer::timeout, &loop, [&] {
        if (TStopRequest::Requested() || outputFailed)
            loop.quit();
        if (++rounds == 20 && !toldQueued && !window.OwnsName()) {
            err << "vxhost keys: another window owns " << kBusNamePrefix << kHostWindowClass
                << "; waiting for it to go\n";
            toldQueued = true;
        }
    });
    stopCheck.start(50);
    loop.exec();
    return outputFailed ? kExitFailure : kExitOk;
}

}  // namespace vxhost
