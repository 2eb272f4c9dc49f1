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
// The request itself, through the system's window messages (the session
// bus on Linux): 0 the analyzer replied, 1 no analyzer or no reply.
int SendClose(IWindowMessages& messages, int timeoutMs, std::ostream& err);

}  // namespace vxhost
