// The close request over the session bus.
#include "HostClose.h"

#include <QCoreApplication>

#include <memory>
#include <ostream>

#include "BusWindowMessages.h"

namespace vxhost {

std::string CloseTarget()
{
    return std::string(kBusNamePrefix) + kAnalyzerWindowClass + " on the session bus";
}

int SendSystemClose(int timeoutMs, std::ostream& err)
{
    // The bus layer wants an application object on this thread.
    std::unique_ptr<QCoreApplication> app;
    if (QCoreApplication::instance() == nullptr) {
        static int argc = 1;
        static char name[] = "vxhost";
        static char* argv[] = {name, nullptr};
        app = std::make_unique<QCoreApplication>(argc, argv);
    }

    BusWindowMessages bus(QDBusConnection::sessionBus(), timeoutMs);
    if (!bus.Connected()) {
        err << "vxhost close: no session bus\n";
        return kExitFailure;
    }
    return SendClose(bus, timeoutMs, err);
}

}  // namespace vxhost
