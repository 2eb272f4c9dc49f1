// The window-message layer and key forwarding against a stand-in host in
// another process (vx_standin), as the analyzer meets the real one.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "StandIn.h"
#include "Win32KeyMessages.h"
#include "Win32WindowMessages.h"

namespace {

// The stand-in beside this test's program; closed, or else ended, with the test.
class TStandIn {
public:
    explicit TStandIn(const std::string& args)
    {
        char self[MAX_PATH];
        const DWORD n = ::GetModuleFileNameA(nullptr, self, MAX_PATH);
        std::string path(self, n);
        std::string command = "\"" + path.substr(0, path.find_last_of("\\/") + 1) + "vx_standin.exe\" " + args;
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        if (!::CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                              &process_))
            ADD_FAILURE() << "cannot start " << command << ": error " << ::GetLastError();
    }
    ~TStandIn()
    {
        if (process_.hProcess == nullptr)
            return;
        if (HWND w = ::FindWindowA(kHostWindowClass, nullptr))
            ::PostMessageA(w, WM_CLOSE, 0, 0);
        if (::WaitForSingleObject(process_.hProcess, 10000) != WAIT_OBJECT_0)
            ::TerminateProcess(process_.hProcess, 9);
        ::CloseHandle(process_.hThread);
        ::CloseHandle(process_.hProcess);
    }
    TStandIn(const TStandIn&) = delete;
    TStandIn& operator=(const TStandIn&) = delete;

private:
    PROCESS_INFORMATION process_{};
};

// Wine's windows are the X server's: without one there are none.
bool HaveDisplay()
{
    return ::GetEnvironmentVariableA("DISPLAY", nullptr, 0) != 0;
}

template <typename Condition>
bool WaitFor(Condition condition, int timeoutMs = 20000)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        ::Sleep(10);
    }
    return true;
}

class TableKeys final : public IKeyState {
public:
    bool shift = false, ctrl = false, alt = false;
    std::int16_t GetKeyState(std::uint32_t vk) const override
    {
        const bool down = (vk == VK_SHIFT_ && shift) || (vk == VK_CONTROL_ && ctrl) || (vk == VK_MENU_ && alt);
        return static_cast<std::int16_t>(down ? 0x8000 : 1);  // bit 0: a toggle, not "down"
    }
};

// Posts the marker to the host's target and returns what reached the target
// before it.
std::vector<std::int64_t> PostsBeforeMarker(IWindowMessages& messages, WindowHandle target)
{
    std::vector<std::int64_t> posts;
    EXPECT_TRUE(messages.Post(target, kStandInMarker, 0, 0));
    const std::int64_t marker = PackPost(kStandInMarker, 0, 0);
    EXPECT_TRUE(WaitFor([&] {
        const auto next = messages.SendTimeout(target, kStandInPostQuery, posts.size(), 0, 5000);
        if (next && *next != -1)
            posts.push_back(*next);
        return !posts.empty() && posts.back() == marker;
    }));
    if (!posts.empty() && posts.back() == marker)
        posts.pop_back();
    return posts;
}

TEST(Win32WindowMessages, KeysReachTheTargetTheHostNamesWithTheirCodes)
{
    if (!HaveDisplay())
        GTEST_SKIP() << "no DISPLAY";
    TStandIn host("host");
    Win32WindowMessages messages(kKeyTargetQueryTimeoutMs);
    ASSERT_TRUE(WaitFor([&] { return messages.FindWindowByClass(kHostWindowClass) != 0; }));
    const WindowHandle hostWindow = messages.FindWindowByClass(kHostWindowClass);
    // The stand-in names itself; so does the query without a time limit.
    Win32WindowMessages patient;
    ASSERT_EQ(GetHostKeyWindow(messages), hostWindow);
    EXPECT_EQ(GetHostKeyWindow(patient), hostWindow);

    struct Case {
        std::uint32_t message;
        std::uint64_t vk;
        bool shift, ctrl, alt;
        std::uint64_t posted;  // 0: nothing
    };
    const Case cases[] = {
        {WM_KEYDOWN_, 'A', false, false, false, 0x41},
        {WM_KEYDOWN_, 'A', true, false, false, 0x141},
        {WM_KEYDOWN_, 'A', false, true, false, 0x241},
        {WM_KEYDOWN_, 'A', true, true, false, 0x141},
        {WM_KEYDOWN_, VK_SHIFT_, true, false, false, 0x110},
        {WM_KEYUP_, 'A', false, false, false, 0x41},
        {WM_SYSKEYDOWN_, 0x79, false, false, false, 0x79},  // F10
        {WM_SYSKEYUP_, 0x79, false, false, false, 0x79},
        {WM_KEYDOWN_, 'A', false, false, true, 0},  // Alt held
        {WM_KEYDOWN_, VK_SCROLL_, true, false, false, 0},
    };
    std::vector<std::int64_t> expected;
    for (const Case& c : cases) {
        TableKeys keys;
        keys.shift = c.shift;
        keys.ctrl = c.ctrl;
        keys.alt = c.alt;
        const std::int64_t lParam = c.message == WM_KEYUP_ ? 0xC01E0001 : 0x001E0001;
        KeyMessage msg{c.message, c.vk, lParam};
        AppMessage(msg, 1, keys, messages);
        if (c.posted != 0) {
            EXPECT_EQ(msg.wParam, c.posted) << "the analyzer dispatches the changed code";
            expected.push_back(PackPost(c.message, c.posted, lParam));
        }
    }
    // The loop's hook with the thread's own key state: no modifier held here.
    MSG queued{nullptr, WM_KEYDOWN, 'B', 0x00300001, 0, {}};
    ForwardKeyMessage(queued, 1, messages);
    EXPECT_EQ(queued.wParam, WPARAM{'B'});
    expected.push_back(PackPost(WM_KEYDOWN_, 'B', 0x00300001));
    // The switch off: nothing.
    MSG off{nullptr, WM_KEYDOWN, 'C', 0x002E0001, 0, {}};
    ForwardKeyMessage(off, 0, messages);

    EXPECT_EQ(PostsBeforeMarker(messages, hostWindow), expected);
}

TEST(Win32WindowMessages, ALateHostOrNoneGetsNothingAndHoldsNoKeyLong)
{
    if (!HaveDisplay())
        GTEST_SKIP() << "no DISPLAY";
    {
        TStandIn host("host late");
        Win32WindowMessages messages(kKeyTargetQueryTimeoutMs);
        ASSERT_TRUE(WaitFor([&] { return messages.FindWindowByClass(kHostWindowClass) != 0; }));
        const WindowHandle hostWindow = messages.FindWindowByClass(kHostWindowClass);
        const TableKeys keys;
        KeyMessage msg{WM_KEYDOWN_, 'A', 0x001E0001};
        const auto start = std::chrono::steady_clock::now();
        AppMessage(msg, 1, keys, messages);
        const auto waited = std::chrono::steady_clock::now() - start;
        EXPECT_GE(waited, std::chrono::milliseconds(kKeyTargetQueryTimeoutMs - 20));
        EXPECT_LT(waited, std::chrono::milliseconds(kStandInLateReplyMs - 100));
        EXPECT_EQ(messages.SendTimeout(hostWindow, kHostKeyTargetQuery, kKeyTargetQueryWParam, 0, 100),
                  std::nullopt);
        EXPECT_EQ(PostsBeforeMarker(messages, hostWindow), std::vector<std::int64_t>{});
    }
    // The system's layer as the programs get it.
    const std::unique_ptr<IWindowMessages> system = PlatformWindowMessages(kKeyTargetQueryTimeoutMs);
    IWindowMessages& messages = *system;
    ASSERT_TRUE(WaitFor([&] { return messages.FindWindowByClass(kHostWindowClass) == 0; }));
    const TableKeys keys;
    KeyMessage msg{WM_KEYDOWN_, 'A', 0x001E0001};
    AppMessage(msg, 1, keys, messages);
    EXPECT_EQ(msg.wParam, 0x41u);
    EXPECT_EQ(GetHostKeyWindow(messages), 0u);
    EXPECT_EQ(messages.SendTimeout(0, kHostCloseMessage, 0, 0, 100), std::nullopt);
    EXPECT_FALSE(messages.Post(0, WM_KEYDOWN_, 'A', 0));
}

}  // namespace
