#include "KeyForwarding.h"

namespace {

bool IsDown(const IKeyState& keys, std::uint32_t vk)
{
    return (static_cast<std::uint16_t>(keys.GetKeyState(vk)) & 0x8000u) != 0;
}

}  // namespace

WindowHandle GetHostKeyWindow(IWindowMessages& messages)
{
    const WindowHandle host = messages.FindWindowByClass(kHostWindowClass);
    if (host == 0)
        return 0;
    return static_cast<WindowHandle>(messages.Send(host, kHostKeyTargetQuery, kKeyTargetQueryWParam, 0));
}

void AppMessage(KeyMessage& msg, int passKeysTag, const IKeyState& keys, IWindowMessages& messages)
{
    if (msg.message != WM_KEYDOWN_ && msg.message != WM_KEYUP_ && msg.message != WM_SYSKEYDOWN_ &&
        msg.message != WM_SYSKEYUP_)
        return;
    if (passKeysTag != 1)
        return;
    if (IsDown(keys, VK_MENU_))
        return;
    if (msg.wParam == VK_SCROLL_)
        return;
    if (IsDown(keys, VK_SHIFT_))
        msg.wParam |= kKeyShiftFlag;
    else if (IsDown(keys, VK_CONTROL_))
        msg.wParam |= kKeyCtrlFlag;
    const WindowHandle target = GetHostKeyWindow(messages);
    if (target == 0)
        return;
    // A failed post is ignored, as is any failure of the host.
    messages.Post(target, msg.message, msg.wParam, msg.lParam);
}
