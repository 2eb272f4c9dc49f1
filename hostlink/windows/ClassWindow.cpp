#include "ClassWindow.h"

#include <algorithm>

TClassWindow::TClassWindow(const std::string& className, Handler handler)
    : className_(className), handler_(std::move(handler))
{
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = &TClassWindow::Procedure;
    windowClass.hInstance = ::GetModuleHandleA(nullptr);
    windowClass.lpszClassName = className_.c_str();
    // A second window of the class in this process shares the procedure.
    if (::RegisterClassA(&windowClass) == 0 && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
        error_ = ::GetLastError();
        return;
    }
    // Top-level, not message-only: FindWindowA does not see message-only
    // windows. Never shown.
    window_ = ::CreateWindowExA(0, className_.c_str(), className_.c_str(), WS_OVERLAPPED, 0, 0, 0, 0, nullptr,
                                nullptr, windowClass.hInstance, this);
    if (window_ == nullptr)
        error_ = ::GetLastError();
}

TClassWindow::~TClassWindow()
{
    if (window_ != nullptr)
        ::DestroyWindow(window_);
    // Fails while another window of the class lives; that one unregisters it.
    ::UnregisterClassA(className_.c_str(), ::GetModuleHandleA(nullptr));
}

LRESULT CALLBACK TClassWindow::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        ::SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<TClassWindow*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
    if (self != nullptr && self->handler_ && message != WM_NCCREATE && message != WM_NCDESTROY) {
        if (const std::optional<LRESULT> reply = self->handler_(window, message, wParam, lParam))
            return *reply;
    }
    return ::DefWindowProcA(window, message, wParam, lParam);
}

bool PumpMessagesUntil(const std::function<bool()>& done, int timeoutMs)
{
    const ULONGLONG deadline = ::GetTickCount64() + static_cast<ULONGLONG>(std::max(timeoutMs, 0));
    for (;;) {
        MSG msg;
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT)
                return false;
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
            if (done())
                return true;
        }
        if (done())
            return true;
        DWORD wait = 50;
        if (timeoutMs >= 0) {
            const ULONGLONG now = ::GetTickCount64();
            if (now >= deadline)
                return false;
            wait = static_cast<DWORD>(std::min<ULONGLONG>(wait, deadline - now));
        }
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, wait, QS_ALLINPUT);
    }
}
