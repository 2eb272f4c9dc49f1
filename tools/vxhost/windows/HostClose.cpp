// The close request over the window system's own messages.
#include "HostClose.h"

#include "Win32WindowMessages.h"

namespace vxhost {

std::string CloseTarget()
{
    return std::string("the window of class ") + kAnalyzerWindowClass;
}

int SendSystemClose(int timeoutMs, std::ostream& err)
{
    Win32WindowMessages messages(timeoutMs);
    return SendClose(messages, timeoutMs, err);
}

}  // namespace vxhost
