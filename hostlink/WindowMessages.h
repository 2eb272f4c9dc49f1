// Window messages between the analyzer and the host: finding a window by
// its class, sending a message and waiting for the reply, posting one
// without waiting. The real layer is the window system's own on Windows
// and the session bus on Linux; key forwarding and the host tool see only
// this interface.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

using WindowHandle = std::uint64_t;  // 0 = no window

inline constexpr std::uint32_t kHostCloseMessage = 2524;   // 1024 + 1500
inline constexpr std::uint32_t kHostKeyTargetQuery = 0x0A40;
inline constexpr const char* kAnalyzerWindowClass = "TVxSoundApp";
inline constexpr const char* kHostWindowClass = "TVxMainForm";

class IWindowMessages {
public:
    virtual ~IWindowMessages() = default;
    // 0 when no window of that class exists.
    virtual WindowHandle FindWindowByClass(const std::string& className) = 0;
    // Waits for the reply; 0 when the window does not answer in time.
    virtual std::int64_t Send(WindowHandle window, std::uint32_t message, std::uint64_t wParam,
                                     std::int64_t lParam) = 0;
    // Waits at most timeoutMs for the reply; none when the window does
    // not answer in time (a window may well answer 0).
    virtual std::optional<std::int64_t> SendTimeout(WindowHandle window, std::uint32_t message,
                                                     std::uint64_t wParam, std::int64_t lParam, int timeoutMs) = 0;
    // Does not wait. False when the window is unknown or the bus is gone.
    virtual bool Post(WindowHandle window, std::uint32_t message, std::uint64_t wParam,
                             std::int64_t lParam) = 0;
};

// The system's layer, in vx_winmsg: the window system's own messages on
// Windows, the session bus on Linux (which wants a Qt application object
// on the calling thread). Send waits at most sendTimeoutMs for a reply
// (< 0: as long as the layer's own limit allows).
std::unique_ptr<IWindowMessages> PlatformWindowMessages(int sendTimeoutMs = -1);
