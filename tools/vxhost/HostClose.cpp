#include "HostClose.h"

#include <ostream>

namespace vxhost {

vxtools::TToolOptions CloseOptions()
{
    vxtools::TToolOptions options(
        "vxhost close", "[--timeout MS]",
        "Sends the host's close request (window message 2524) to the analyzer's\n"
        "main window, " + CloseTarget() + ", and waits for\n"
        "its reply: the analyzer closes without asking and saves its settings.");
    options.Add({"timeout", 0, "MS", "how long to wait for the reply\n(default 30000)"})
        .Positionals(0, 0)
        .WithoutVersion()
        .Epilogue("Exit status: 0 the analyzer replied, 1 no analyzer or no reply.\n");
    return options;
}

int RunClose(const GlobalOptions&, std::span<const std::string> args, std::ostream& out, std::ostream& err)
{
    vxtools::TToolOptions options = CloseOptions();
    if (const auto status = ParseCommand(options, args, out, err))
        return *status;
    int timeoutMs = 30000;
    try {
        if (options.Has("timeout"))
            timeoutMs = static_cast<int>(
                vxtools::TToolOptions::ParseInteger(options.Value("timeout"), "--timeout", 1, 86400000));
    } catch (const vxtools::EToolUsage& e) {
        return options.UsageError(err, e.what());
    }

    return SendSystemClose(timeoutMs, err);
}

int SendClose(IWindowMessages& messages, int timeoutMs, std::ostream& err)
{
    const WindowHandle window = messages.FindWindowByClass(kAnalyzerWindowClass);
    if (window == 0) {
        err << "vxhost close: no analyzer window (" << kAnalyzerWindowClass << ")\n";
        return kExitFailure;
    }
    if (!messages.SendTimeout(window, kHostCloseMessage, 0, 0, timeoutMs)) {
        err << "vxhost close: the analyzer did not reply within " << timeoutMs << " ms\n";
        return kExitFailure;
    }
    return kExitOk;
}

}  // namespace vxhost
