#include "HostClose.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>

#include <memory>

#include "BusWindowMessages.h"
#include "WindowMessages.h"

namespace vxhost {

std::string CloseHelp()
{
    return "Usage: vxhost close [--timeout MS]\n"
           "\n"
           "Sends the host's close request (window message 2524) to the analyzer's\n"
           "main window, org.corvane.vx.TVxSoundApp on the session bus, and waits for\n"
           "its reply: the analyzer closes without asking and saves its settings.\n"
           "\n"
           "  --timeout MS   how long to wait for the reply (default 30000)\n"
           "\n"
           "Exit status: 0 the analyzer replied, 1 no analyzer or no reply.\n";
}

int RunClose(const GlobalOptions&, std::span<const std::string> args, std::ostream& out, std::ostream& err)
{
    int timeoutMs = 30000;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--help" || args[i] == "-h") {
            out << CloseHelp();
            return kExitOk;
        }
        if (args[i] == "--timeout" && i + 1 < args.size()) {
            try {
                timeoutMs = std::stoi(args[++i]);
            } catch (const std::exception&) {
                timeoutMs = -1;
            }
            if (timeoutMs <= 0) {
                err << "vxhost close: --timeout needs a positive number of milliseconds\n";
                return kExitUsage;
            }
            continue;
        }
        err << "vxhost close: unexpected argument '" << args[i] << "'\n";
        return kExitUsage;
    }

    // The bus layer wants an application object on this thread.
    std::unique_ptr<QCoreApplication> app;
    if (QCoreApplication::instance() == nullptr) {
        static int argc = 1;
        static char name[] = "vxhost";
        static char* argv[] = {name, nullptr};
        app = std::make_unique<QCoreApplication>(argc, argv);
    }

    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        err << "vxhost close: no session bus (" << bus.lastError().message().toStdString() << ")\n";
        return kExitFailure;
    }
    const QString service = BusNameForClass(QString::fromLatin1(kAnalyzerWindowClass));
    const QDBusReply<bool> owned = bus.interface()->isServiceRegistered(service);
    if (!owned.isValid() || !owned.value()) {
        err << "vxhost close: no analyzer window (" << service.toStdString() << ") on the session bus\n";
        return kExitFailure;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(service, kBusObjectPath, kBusInterface, "SendMessage");
    call << static_cast<uint>(kHostCloseMessage) << static_cast<qulonglong>(0) << static_cast<qlonglong>(0);
    const QDBusMessage reply = bus.call(call, QDBus::Block, timeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage) {
        err << "vxhost close: the analyzer did not reply: " << reply.errorMessage().toStdString() << "\n";
        return kExitFailure;
    }
    return kExitOk;
}

}  // namespace vxhost
