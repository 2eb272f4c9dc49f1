// Window messages between processes through the window system itself:
// FindWindowA, SendMessageA / SendMessageTimeoutA, PostMessageA. A
// WindowHandle carries the HWND.
#pragma once

#include "WindowMessages.h"

class Win32WindowMessages final : public IWindowMessages {
public:
    // sendTimeoutMs < 0: Send waits for the reply however long it takes;
    // otherwise at most that long, and a hung or slow window gives 0.
    explicit Win32WindowMessages(int sendTimeoutMs = -1) : sendTimeoutMs_(sendTimeoutMs) {}

    WindowHandle FindWindowByClass(const std::string& className) override;
    std::int64_t Send(WindowHandle window, std::uint32_t message, std::uint64_t wParam,
                      std::int64_t lParam) override;
    std::optional<std::int64_t> SendTimeout(WindowHandle window, std::uint32_t message, std::uint64_t wParam,
                                            std::int64_t lParam, int timeoutMs) override;
    bool Post(WindowHandle window, std::uint32_t message, std::uint64_t wParam, std::int64_t lParam) override;

private:
    int sendTimeoutMs_;
};
