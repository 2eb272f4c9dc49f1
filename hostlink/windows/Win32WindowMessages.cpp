#include "Win32WindowMessages.h"

#include <windows.h>

namespace {

HWND AsWindow(WindowHandle window)
{
    return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(window));
}

}  // namespace

WindowHandle Win32WindowMessages::FindWindowByClass(const std::string& className)
{
    return static_cast<WindowHandle>(reinterpret_cast<std::uintptr_t>(::FindWindowA(className.c_str(), nullptr)));
}

std::int64_t Win32WindowMessages::Send(WindowHandle window, std::uint32_t message, std::uint64_t wParam,
                                       std::int64_t lParam)
{
    if (sendTimeoutMs_ >= 0)
        return SendTimeout(window, message, wParam, lParam, sendTimeoutMs_).value_or(0);
    if (window == 0)
        return 0;
    return ::SendMessageA(AsWindow(window), message, static_cast<WPARAM>(wParam), static_cast<LPARAM>(lParam));
}

std::optional<std::int64_t> Win32WindowMessages::SendTimeout(WindowHandle window, std::uint32_t message,
                                                             std::uint64_t wParam, std::int64_t lParam, int timeoutMs)
{
    // A window handle of 0 would be HWND_DESKTOP's broadcast: refuse it.
    if (window == 0 || !::IsWindow(AsWindow(window)))
        return std::nullopt;
    DWORD_PTR result = 0;
    const LRESULT ok = ::SendMessageTimeoutA(AsWindow(window), message, static_cast<WPARAM>(wParam),
                                             static_cast<LPARAM>(lParam), SMTO_ABORTIFHUNG,
                                             static_cast<UINT>(timeoutMs < 0 ? 0 : timeoutMs), &result);
    if (ok == 0)
        return std::nullopt;
    return static_cast<std::int64_t>(result);
}

bool Win32WindowMessages::Post(WindowHandle window, std::uint32_t message, std::uint64_t wParam, std::int64_t lParam)
{
    // PostMessageA(NULL) would post to this thread's own queue instead.
    if (window == 0)
        return false;
    return ::PostMessageA(AsWindow(window), message, static_cast<WPARAM>(wParam), static_cast<LPARAM>(lParam)) != 0;
}

std::unique_ptr<IWindowMessages> PlatformWindowMessages(int sendTimeoutMs)
{
    return std::make_unique<Win32WindowMessages>(sendTimeoutMs);
}
