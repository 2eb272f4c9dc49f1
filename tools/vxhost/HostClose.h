// vxhost close: the host's close request to the analyzer's main window.
#pragma once

#include <ostream>
#include <span>
#include <string>

#include "HostCommands.h"
#include "WindowMessages.h"

namespace vxhost {

vxtools::TToolOptions CloseOptions();
int RunClose(const GlobalOptions& options, std::span<const std::string> args, std::ostream& out,
             std::ostream& err);
// The request itself: 0 the analyzer replied, 1 no analyzer or no reply.
int SendClose(IWindowMessages& messages, int timeoutMs, std::ostream& err);

// The system's part (linux/ and windows/HostClose.cpp): where the request
// goes, for the help text, and SendClose over the system's window
// messages (the session bus on Linux, the window system's on Windows).
std::string CloseTarget();
int SendSystemClose(int timeoutMs, std::ostream& err);

}  // namespace vxhost
