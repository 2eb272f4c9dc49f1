// The close request over the window system's own messages.
#include "HostClose.h"

#include "WindowMessages.h"

namespace vxhost {

std::string CloseTarget()
{
    return std::string("the window of class ") + kAnalyzerWindowClass;
}

int SendSystemClose(int timeoutMs, std::ostream& err)
{
    return SendClose(*PlatformWindowMessages(timeoutMs), timeoutMs, err);
}

}  // namespace vxhost
