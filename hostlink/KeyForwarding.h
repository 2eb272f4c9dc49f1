// Forwarding of the analyzer's key messages to the window the host names.
#pragma once

#include <cstdint>

#include "WindowMessages.h"

inline constexpr std::uint32_t WM_KEYDOWN_ = 0x0100;
inline constexpr std::uint32_t WM_KEYUP_ = 0x0101;
inline constexpr std::uint32_t WM_SYSKEYDOWN_ = 0x0104;
inline constexpr std::uint32_t WM_SYSKEYUP_ = 0x0105;

inline constexpr std::uint32_t VK_SHIFT_ = 0x10;
inline constexpr std::uint32_t VK_CONTROL_ = 0x11;
inline constexpr std::uint32_t VK_MENU_ = 0x12;
inline constexpr std::uint32_t VK_SCROLL_ = 0x91;

inline constexpr std::uint64_t kKeyShiftFlag = 0x100;
inline constexpr std::uint64_t kKeyCtrlFlag = 0x200;
inline constexpr std::uint64_t kKeyTargetQueryWParam = 0x81;
// Longest wait for the host's answer to the key-target query; no answer in
// time means no target (the bus's own default would hold each key 25 s).
inline constexpr int kKeyTargetQueryTimeoutMs = 250;

// A queued message as the hook sees it; the hook may change it in place.
struct KeyMessage {
    std::uint32_t message = 0;
    std::uint64_t wParam = 0;
    std::int64_t lParam = 0;
};

// GetKeyState: the state of a key at the time of the message being
// handled; a key is down when the high-order bit of the result is set.
class IKeyState {
public:
    virtual ~IKeyState() = default;
    virtual std::int16_t GetKeyState(std::uint32_t virtualKey) const = 0;
};

// The window that receives forwarded keys, or 0. Looked up anew each time.
WindowHandle GetHostKeyWindow(IWindowMessages& messages);

// The application's message hook. `passKeysTag` is the tag of the menu
// switch (1 = forward). Never consumes the message.
void AppMessage(KeyMessage& msg, int passKeysTag, const IKeyState& keys, IWindowMessages& messages);
