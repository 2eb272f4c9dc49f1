// Key forwarding in the Windows message loop: the queued message goes to
// AppMessage before it is translated and dispatched.
#pragma once

#include <windows.h>

#include "KeyForwarding.h"

// GetKeyState of the calling thread: the state at the time of the message
// last taken from its queue.
class SystemKeyState final : public IKeyState {
public:
    std::int16_t GetKeyState(std::uint32_t virtualKey) const override;
};

// For each message of the UI thread's loop, before TranslateMessage. The
// hook may change the message's wParam (the Shift/Ctrl flags) and never
// consumes it: the caller translates and dispatches it as usual.
void ForwardKeyMessage(MSG& msg, int passKeysTag, IWindowMessages& messages,
                       const IKeyState& keys = SystemKeyState());
