#include "Win32KeyMessages.h"

std::int16_t SystemKeyState::GetKeyState(std::uint32_t virtualKey) const
{
    return static_cast<std::int16_t>(::GetKeyState(static_cast<int>(virtualKey)));
}

void ForwardKeyMessage(MSG& msg, int passKeysTag, IWindowMessages& messages, const IKeyState& keys)
{
    KeyMessage key{msg.message, static_cast<std::uint64_t>(msg.wParam), static_cast<std::int64_t>(msg.lParam)};
    AppMessage(key, passKeysTag, keys, messages);
    msg.wParam = static_cast<WPARAM>(key.wParam);
}
