// Program entry on Windows: the common controls, the one-analyzer check,
// the main window (its FormCreate runs), the hidden About window and the
// message loop.
#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <cstdio>
#include <memory>
#include <string>

#include "AboutForm.h"
#include "KeyForwarding.h"
#include "MainWindow.h"
#include "VxSoundApp.h"
#include "WaveInRing.h"
#include "Win32WindowMessages.h"
#include "WinmmWaveDriver.h"

namespace {

// The window that a console's Ctrl+C, Ctrl+Break or close reaches, and
// whether it has finished closing.
std::atomic<HWND> g_window{nullptr};
HANDLE g_closed = nullptr;

// Runs on a thread of the system's: the window closes as on the host's
// request, on its own thread; the handler waits for that, since a console
// being closed ends the process once the handler returns.
BOOL WINAPI OnConsoleControl(DWORD event)
{
    HWND window = g_window.load();
    if (window == nullptr)
        return FALSE;
    ::PostMessageA(window, kHostCloseMessage, 0, 0);
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT)
        ::WaitForSingleObject(g_closed, 4500);
    return TRUE;
}

// A window program has no standard error of its own; started from a
// console, it writes its lines there.
void AttachParentConsole()
{
    HANDLE err = ::GetStdHandle(STD_ERROR_HANDLE);
    if (err != nullptr && err != INVALID_HANDLE_VALUE)
        return;
    if (!::AttachConsole(ATTACH_PARENT_PROCESS))
        return;
    (void)std::freopen("CONOUT$", "w", stderr);
    (void)std::freopen("CONOUT$", "w", stdout);
}

// One analyzer per segment name in the session: a second one would write
// the same record, and the host would read a mix of both. The claim is a
// named mutex, which the system frees when the process ends, so a crashed
// analyzer never blocks a start.
HANDLE ClaimSegment(const std::string& segment, bool& taken)
{
    std::string name = "Local\\Corvane.VxSound." + segment;
    for (std::size_t i = 6; i < name.size(); ++i)
        if (name[i] == '\\')
            name[i] = '_';
    HANDLE claim = ::CreateMutexA(nullptr, FALSE, name.c_str());
    taken = claim != nullptr && ::GetLastError() == ERROR_ALREADY_EXISTS;
    if (taken) {
        ::CloseHandle(claim);
        return nullptr;
    }
    return claim;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    AttachParentConsole();
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES | ICC_BAR_CLASSES;
    ::InitCommonControlsEx(&controls);

    // Decided before FormCreate, which opens the segment and writes the record.
    const std::string segment = TVxSoundApp::SegmentName();
    bool taken = false;
    HANDLE claim = ClaimSegment(segment, taken);
    if (taken) {
        std::fprintf(stderr, "vxsound: An analyzer already runs on segment %s; this start ends\n", segment.c_str());
        std::fflush(stderr);
        if (HWND running = ::FindWindowA(kAnalyzerWindowClass, nullptr)) {
            // This process was started by the user, so it may hand the
            // foreground on; the message restores a minimized window.
            ::AllowSetForegroundWindow(ASFW_ANY);
            ::SendMessageTimeoutA(running, kRaiseWindowMessage, 0, 0, SMTO_ABORTIFHUNG, 2000, nullptr);
            ::SetForegroundWindow(running);
        }
        const std::string text = "An analyzer already runs (segment " + segment +
                                 ").\nIts window has been brought to the front.";
        ::MessageBoxA(nullptr, text.c_str(), kApplicationTitle, MB_OK | MB_ICONINFORMATION | MB_SETFOREGROUND | MB_TOPMOST);
        // Not 0: whoever started this process did not get an analyzer of its own.
        return 1;
    }

    TWinmmWaveDriver driver;
    SetWaveInDriver(&driver);

    int status = 0;
    g_closed = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    {
        TVxSoundWindow window;
        if (window.Handle == nullptr) {
            std::fprintf(stderr, "vxsound: The main window could not be made (error %lu)\n", ::GetLastError());
            return 1;
        }
        // Only the key-target query waits for a reply: a host that does not
        // answer in time has no target, rather than holding every keystroke.
        Win32WindowMessages messages(kKeyTargetQueryTimeoutMs);
        window.SetKeyMessages(&messages);
        g_window.store(window.Handle);
        ::SetConsoleCtrlHandler(&OnConsoleControl, TRUE);
        window.App.FormCreate();
        // A close while start-up's error box was open has already ended it.
        if (!window.App.Closed) {
            auto about = std::make_unique<TAboutForm>(window.Dpi());
            AboutForm = about.get();
            window.ShowAtStart();
            status = window.Run();
            AboutForm = nullptr;
        }
        g_window.store(nullptr);
    }
    ::SetEvent(g_closed);
    SetCaptureUi(nullptr);
    SetWaveInDriver(nullptr);
    if (claim != nullptr)
        ::CloseHandle(claim);
    return status;
}
