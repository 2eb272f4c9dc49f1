// vxhost close: the host's close request to the analyzer's main window.
#pragma once

#include <ostream>
#include <span>
#include <string>

#include "HostCommands.h"

namespace vxhost {

vxtools::TToolOptions CloseOptions();
int RunClose(const GlobalOptions& options, std::span<const std::string> args, std::ostream& out,
             std::ostream& err);

}  // namespace vxhost
