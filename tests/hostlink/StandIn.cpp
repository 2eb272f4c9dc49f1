// Stand-ins in a process of their own, for the window-message tests:
//   vx_standin host [late]        the host's main window: answers the
//       key-target query with itself (late: after kStandInLateReplyMs) and
//       keeps what is posted to it for kStandInPostQuery
//   vx_standin analyzer SEGMENT   the analyzer: makes the record (Level =
//       kStandInLevel) and a TVxSoundApp window; exit status 0 once the
//       close request came and was answered with 0
//   vx_standin press              forwards Shift+A down, then A up, to the
//       host's key target, once a host window exists
// Each ends on WM_CLOSE and after 60 s at the latest (exit status 3).
#include <windows.h>

#include <string>
#include <vector>

#include "ClassWindow.h"
#include "SharedMap.h"
#include "StandIn.h"
#include "Win32KeyMessages.h"
#include "Win32WindowMessages.h"

namespace {

constexpr int kLifeMs = 60000;

class ShiftState final : public IKeyState {
public:
    bool shift = false;
    std::int16_t GetKeyState(std::uint32_t vk) const override
    {
        return static_cast<std::int16_t>(vk == VK_SHIFT_ && shift ? 0x8000 : 0);
    }
};

int Host(bool late)
{
    std::vector<std::int64_t> posts;
    bool closed = false;
    TClassWindow window(kHostWindowClass, [&](HWND self, UINT message, WPARAM wParam,
                                              LPARAM lParam) -> std::optional<LRESULT> {
        if (message == kHostKeyTargetQuery && wParam == kKeyTargetQueryWParam) {
            if (late)
                ::Sleep(kStandInLateReplyMs);
            return reinterpret_cast<LRESULT>(self);
        }
        if (message == kStandInPostQuery)
            return wParam < posts.size() ? posts[wParam] : -1;
        if (message == WM_CLOSE) {
            closed = true;
            return 0;
        }
        if (message == WM_KEYDOWN || message == WM_KEYUP || message == WM_SYSKEYDOWN || message == WM_SYSKEYUP ||
            message == kStandInMarker)
            posts.push_back(PackPost(message, wParam, lParam));
        return std::nullopt;
    });
    if (window.Handle() == nullptr)
        return 2;
    return PumpMessagesUntil([&] { return closed; }, kLifeMs) ? 0 : 3;
}

int Analyzer(const std::string& segment)
{
    TSharedMap map(PlatformSharedMemory(), segment);
    map.Data->SetLevel(kStandInLevel);
    bool asked = false;
    TClassWindow window(kAnalyzerWindowClass, [&](HWND, UINT message, WPARAM, LPARAM) -> std::optional<LRESULT> {
        if (message == kHostCloseMessage) {
            asked = true;
            return 0;
        }
        return std::nullopt;
    });
    if (window.Handle() == nullptr)
        return 2;
    return PumpMessagesUntil([&] { return asked; }, kLifeMs) ? 0 : 3;
}

int Press()
{
    Win32WindowMessages messages(kKeyTargetQueryTimeoutMs);
    const ULONGLONG deadline = ::GetTickCount64() + kLifeMs;
    while (messages.FindWindowByClass(kHostWindowClass) == 0) {
        if (::GetTickCount64() > deadline)
            return 3;
        ::Sleep(50);
    }
    ShiftState keys;
    keys.shift = true;
    MSG down{nullptr, WM_KEYDOWN, 'A', 0x001E0001, 0, {}};
    ForwardKeyMessage(down, 1, messages, keys);
    keys.shift = false;
    MSG up{nullptr, WM_KEYUP, 'A', static_cast<LPARAM>(0xC01E0001u), 0, {}};
    ForwardKeyMessage(up, 1, messages, keys);
    return down.wParam == 0x141 ? 0 : 4;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "host")
        return Host(argc > 2 && std::string(argv[2]) == "late");
    if (mode == "analyzer" && argc > 2)
        return Analyzer(argv[2]);
    if (mode == "press")
        return Press();
    return 2;
}
