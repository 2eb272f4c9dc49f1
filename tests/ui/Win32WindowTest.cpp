// What only the Win32 edge's real controls show: ranges and positions as
// the track bars and the scroll bar report them, menu state as the menu
// reports it, boxes answered and dismissed, splitters dragged. Needs a
// display (under Wine, an X server).
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "BlockAnalysis.h"
#include "MainWindow.h"
#include "TrigDetector.h"

namespace {

std::unique_ptr<TVxSoundWindow> MakeWindow()
{
    auto window = std::make_unique<TVxSoundWindow>();
    if (window->Handle != nullptr) {
        ::SetWindowPos(window->Handle, nullptr, 50, 50, 305, 333, SWP_NOZORDER | SWP_NOACTIVATE);
        window->App.SetMinimized(false);
        window->ShowAtStart();
    }
    return window;
}

#define WINDOW_OR_SKIP(w)                                                   \
    auto w = MakeWindow();                                                  \
    if (w->Handle == nullptr)                                               \
        GTEST_SKIP() << "no display for windows (error " << ::GetLastError() << ")"

struct Shown {
    int min, max, pos;
    bool operator==(const Shown&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Shown& s)
{
    return os << s.min << ".." << s.max << " at " << s.pos;
}

Shown Reported(const TVxSoundWindow& w, TPositionId id)
{
    HWND c = w.PositionControl(id);
    if (id == TPositionId::ScrollBar1) {
        SCROLLINFO info{};
        info.cbSize = sizeof info;
        info.fMask = SIF_RANGE | SIF_POS;
        ::GetScrollInfo(c, SB_CTL, &info);
        return {info.nMin, info.nMax, info.nPos};
    }
    return {static_cast<int>(::SendMessageA(c, TBM_GETRANGEMIN, 0, 0)),
            static_cast<int>(::SendMessageA(c, TBM_GETRANGEMAX, 0, 0)),
            static_cast<int>(::SendMessageA(c, TBM_GETPOS, 0, 0))};
}

std::string StatusText(const TVxSoundWindow& w)
{
    char text[256] = {};
    if (LOWORD(::SendMessageA(w.StatusBar1, SB_GETTEXTLENGTHA, 2, 0)) < sizeof text)
        ::SendMessageA(w.StatusBar1, SB_GETTEXTA, 2, reinterpret_cast<LPARAM>(text));
    return text;
}

}  // namespace

TEST(Win32Window, PositionControlsShowRangeAndClampThroughTheRealControls)
{
    WINDOW_OR_SKIP(w);
    const struct {
        TPositionId id;
        int set;
        Shown expected;
    } cases[] = {
        {TPositionId::TrackBar1, 30, {1, 25, 25}},
        {TPositionId::TrackBar2, -5, {0, 300, 0}},
        {TPositionId::TrackBar3, 100, {1, 455, 100}},
        {TPositionId::ScrollBar1, 200, {-127, 127, 127}},
    };
    for (const auto& c : cases) {
        w->App.Control(c.id).SetPosition(c.set);
        EXPECT_EQ(Reported(*w, c.id), c.expected) << static_cast<int>(c.id);
        EXPECT_EQ(w->App.Control(c.id).Position(), c.expected.pos) << static_cast<int>(c.id);
    }

    // A smaller maximum clamps the real fader too.
    w->App.Low1Click();
    EXPECT_EQ(Reported(*w, TPositionId::TrackBar3), (Shown{1, 50, 50}));

    // The user's keys move the fader itself; the window follows and its
    // change handler runs, but not past the end.
    ::SendMessageA(w->TrackBar1, WM_KEYDOWN, VK_RIGHT, 0);
    EXPECT_EQ(w->App.TrackBar1.Position(), 25);
    ::SendMessageA(w->TrackBar1, WM_KEYDOWN, VK_LEFT, 0);
    EXPECT_EQ(w->App.TrackBar1.Position(), 24);
    EXPECT_EQ(StatusText(*w), "Minimum time between trigs: " + std::to_string(DecayMs(24)) + " ms");

    // The scroll bar's arrows and pages, as it reports them to the window.
    const auto scroll = [&](int code) {
        ::SendMessageA(w->Handle, WM_VSCROLL, MAKEWPARAM(code, 0), reinterpret_cast<LPARAM>(w->ScrollBar1));
        return Reported(*w, TPositionId::ScrollBar1).pos;
    };
    EXPECT_EQ(scroll(SB_LINEDOWN), 127);
    EXPECT_EQ(scroll(SB_LINEUP), 126);
    EXPECT_EQ(scroll(SB_PAGEUP), 116);
    EXPECT_EQ(w->App.ScrollBar1.Position(), 116);

    // A key on the closed chooser is the user's choice; showing is not.
    w->ShowDevices({"default", "one", "two"}, 2);
    EXPECT_EQ(w->App.ComboBox1Index, -1);
    ::SendMessageA(w->ComboBox1, WM_KEYDOWN, VK_UP, 0);
    EXPECT_EQ(w->App.ComboBox1Index, 1);
}

TEST(Win32Window, MenuReportsChecksRadioItemsAndImages)
{
    WINDOW_OR_SKIP(w);
    w->App.ApplyViewState();
    const auto check = [&](const char* when) {
        for (int i = 0; i < kMenuItems; ++i) {
            const auto id = static_cast<TMenuId>(i);
            const TMenuItem& item = w->App.Item(id);
            MENUITEMINFOA info{};
            info.cbSize = sizeof info;
            info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_BITMAP;
            ASSERT_TRUE(::GetMenuItemInfoA(w->MainMenu1, TVxSoundWindow::MenuCommand(id), FALSE, &info)) << item.Name;
            const bool switchItem = item.ImageIndex == 10 || item.ImageIndex == 22 || item.ImageIndex == 23 ||
                                    (item.ImageIndex < 0 && id != TMenuId::About1);
            EXPECT_EQ((info.fState & MFS_CHECKED) != 0, switchItem && item.Tag == 1) << when << item.Name;
            EXPECT_EQ((info.fType & MFT_RADIOCHECK) != 0, item.GroupIndex != 0) << when << item.Name;
            EXPECT_EQ(info.hbmpItem == HBMMENU_CALLBACK, item.ImageIndex >= 0) << when << item.Name;
            EXPECT_EQ(w->MenuImage(id), item.ImageIndex) << when << item.Name;
        }
    };
    check("at start: ");

    const auto click = [&](TMenuId id) {
        ::SendMessageA(w->Handle, WM_COMMAND, MAKEWPARAM(TVxSoundWindow::MenuCommand(id), 0), 0);
    };
    click(TMenuId::Medium1);
    click(TMenuId::StayOnTop1);
    click(TMenuId::UseFFT1);
    EXPECT_EQ(::GetMenuState(w->MainMenu1, TVxSoundWindow::MenuCommand(TMenuId::Medium1), MF_BYCOMMAND) & MF_CHECKED,
              static_cast<UINT>(MF_CHECKED));
    EXPECT_EQ(::GetMenuState(w->MainMenu1, TVxSoundWindow::MenuCommand(TMenuId::Low1), MF_BYCOMMAND) & MF_CHECKED, 0u);
    EXPECT_EQ(Reported(*w, TPositionId::TrackBar3).max, 150);
    EXPECT_EQ(::GetWindowLongPtrA(w->Handle, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
    EXPECT_TRUE(::IsWindowVisible(w->PaintBox2.Handle()));
    check("after clicks: ");

    // A highlighted line's hint goes to the status panel.
    ::SendMessageA(w->Handle, WM_MENUSELECT, MAKEWPARAM(TVxSoundWindow::MenuCommand(TMenuId::Exit1), MF_STRING),
                   reinterpret_cast<LPARAM>(w->Menu("Analyzer1")));
    EXPECT_EQ(StatusText(*w), "Close Audio Analyzer");
}

TEST(Win32Window, BoxesAreAnsweredByTheirButtonsAndDismissedByTheHost)
{
    WINDOW_OR_SKIP(w);
    // Another thread finds the box by its title, reads its text and
    // presses Yes, within a deadline.
    std::string seen;
    std::atomic<bool> pressed{false};
    std::thread user([&] {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (std::chrono::steady_clock::now() < deadline) {
            HWND box = ::FindWindowA("#32770", kApplicationTitle);
            HWND yes = box != nullptr ? ::GetDlgItem(box, IDYES) : nullptr;
            if (yes != nullptr) {
                char text[512] = {};
                ::GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
                seen = text;
                ::SendMessageA(yes, BM_CLICK, 0, 0);
                pressed = true;
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    EXPECT_EQ(w->RunBox(TBoxKind::Question, kConfirmCloseText), TBoxAnswer::Yes);
    user.join();
    EXPECT_TRUE(pressed);
    EXPECT_EQ(seen, kConfirmCloseText);

    // The host's close while a box runs answers it No (OK for the others).
    for (const auto& [kind, answer] : {std::pair{TBoxKind::Question, TBoxAnswer::No},
                                       std::pair{TBoxKind::Error, TBoxAnswer::Ok}}) {
        w->PostToWindow([&] { w->DismissBox(); });
        EXPECT_EQ(w->RunBox(kind, "dismissed"), answer);
    }
}

TEST(Win32Window, SplittersAreDraggedAsALineWithinTheWindowsLimits)
{
    WINDOW_OR_SKIP(w);
    w->App.SetUseFFT();
    w->ShowSplits(151, 38);
    const auto drag = [&](const TSplitter& s, int by) {
        const POINT from{(s.Strip.left + s.Strip.right) / 2, (s.Strip.top + s.Strip.bottom) / 2};
        const POINT to{s.Vertical() ? from.x + by : from.x, s.Vertical() ? from.y : from.y + by};
        ::SendMessageA(w->Handle, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(from.x, from.y));
        ::SendMessageA(w->Handle, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(to.x, to.y));
        ::SendMessageA(w->Handle, WM_LBUTTONUP, 0, MAKELPARAM(to.x, to.y));
        int fft = 0, panel2 = 0;
        EXPECT_TRUE(w->CurrentSplits(fft, panel2));
        EXPECT_EQ(std::make_pair(w->App.KeptFftWidth, w->App.KeptPanel2Height), std::make_pair(fft, panel2));
        return s.Vertical() ? fft : panel2;
    };
    const struct {
        TSplitter& splitter;
        int by, size;
    } cases[] = {
        {w->Splitter1, 140, 151},  // FFTPanel would be 11 wide: refused
        {w->Splitter1, -40, 191},
        {w->Splitter2, 30, 38},    // Panel2 would be 8 high: refused
        {w->Splitter2, -20, 58},
    };
    for (const auto& c : cases)
        EXPECT_EQ(drag(c.splitter, c.by), c.size) << c.by;

    // Without the equalizer the level display takes the whole width.
    w->App.ClearUseFFT();
    int fft = 0, panel2 = 0;
    EXPECT_FALSE(w->CurrentSplits(fft, panel2));
    EXPECT_FALSE(::IsWindowVisible(w->PaintBox2.Handle()));
    RECT client, box;
    ::GetClientRect(w->Handle, &client);
    ::GetWindowRect(w->PaintBox1.Handle(), &box);
    ::MapWindowPoints(nullptr, w->Handle, reinterpret_cast<POINT*>(&box), 2);
    EXPECT_EQ(box.right, client.right - 1);
}

TEST(Win32Window, EachStatusLightShowsItsOwnState)
{
    WINDOW_OR_SKIP(w);
    // The bar asks the window to draw each owner-drawn panel on its own;
    // here into a bitmap, so that the pixels can be read back.
    HDC dc = ::CreateCompatibleDC(nullptr);
    HDC screen = ::GetDC(nullptr);
    HBITMAP bitmap = ::CreateCompatibleBitmap(screen, 60, 21);
    ::ReleaseDC(nullptr, screen);
    HGDIOBJ old = ::SelectObject(dc, bitmap);
    const auto draw = [&](int part) {
        DRAWITEMSTRUCT item{};
        item.CtlType = ODT_STATIC;
        item.itemID = static_cast<UINT>(part);
        item.hwndItem = w->StatusBar1;
        item.hDC = dc;
        item.rcItem = RECT{part * 30, 0, part * 30 + 30, 21};
        ::SendMessageA(w->Handle, WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&item));
        return ::GetPixel(dc, part * 30 + 15, 10);
    };
    const COLORREF face = RGB(240, 240, 240);
    PeakHold.store(kClipLevel + 1);
    TrigFlash.store(1);
    // The clipping light leaves the trig for the trig light's own draw,
    // which takes it.
    EXPECT_EQ(draw(0), RGB(255, 0, 0));
    EXPECT_EQ(draw(1), RGB(0, 0, 255));
    EXPECT_EQ(draw(1), face);
    PeakHold.store(0);
    EXPECT_EQ(draw(0), face);
    ::SelectObject(dc, old);
    ::DeleteObject(bitmap);
    ::DeleteDC(dc);
}
