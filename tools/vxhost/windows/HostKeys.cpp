// vxhost keys on Windows: the host's window is a real window of its class.
#include "HostKeys.h"

#include <ostream>

#include "ClassWindow.h"
#include "KeyForwarding.h"
#include "StopRequest.h"

namespace vxhost {

vxtools::TToolOptions KeysOptions()
{
    vxtools::TToolOptions options(
        "vxhost keys", "",
        "Stands in for the host's main window: a window of class TVxMainForm\n"
        "that answers the analyzer's key-target query (message 0x0A40) with its\n"
        "own handle, and prints one line per key message posted to it:\n"
        "  WM_KEYDOWN wParam=0x341 lParam=0x001e0001 key=Shift+Ctrl+A\n"
        "Ctrl+C, closing the console or WM_CLOSE to the window ends it (exit\n"
        "status 0); exit status 1 when the window cannot be made. If another\n"
        "window of the class comes first, the analyzer finds that one: this one\n"
        "says so and goes on.");
    options.Positionals(0, 0).WithoutVersion();
    return options;
}

int RunKeys(const GlobalOptions&, std::span<const std::string> args, std::ostream& out, std::ostream& err)
{
    vxtools::TToolOptions options = KeysOptions();
    if (const auto status = ParseCommand(options, args, out, err))
        return *status;

    const TStopRequest stop;
    bool outputFailed = false;
    bool closed = false;
    TClassWindow window(kHostWindowClass, [&](HWND self, UINT message, WPARAM wParam,
                                              LPARAM lParam) -> std::optional<LRESULT> {
        switch (message) {
        case kHostKeyTargetQuery:
            return wParam == kKeyTargetQueryWParam ? reinterpret_cast<LRESULT>(self) : 0;
        case WM_KEYDOWN_:
        case WM_KEYUP_:
        case WM_SYSKEYDOWN_:
        case WM_SYSKEYUP_:
            out << FormatKeyPost(message, wParam, lParam) << "\n" << std::flush;
            if (!out)
                outputFailed = true;
            return 0;
        case WM_CLOSE:
            closed = true;
            return 0;
        default:
            return std::nullopt;
        }
    });
    if (window.Handle() == nullptr) {
        err << "vxhost keys: cannot make a window of class " << kHostWindowClass << " (error " << window.Error()
            << ")\n";
        return kExitFailure;
    }
    if (::FindWindowA(kHostWindowClass, nullptr) != window.Handle())
        err << "vxhost keys: another window of class " << kHostWindowClass
            << " comes first; the analyzer's keys go to it\n";

    PumpMessagesUntil([&] { return TStopRequest::Requested() || outputFailed || closed; }, -1);
    return outputFailed ? kExitFailure : kExitOk;
}

}  // namespace vxhost
