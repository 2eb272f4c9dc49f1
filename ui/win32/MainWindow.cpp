// The main window in Win32: construction and layout of the controls, their
// positions and panels, the window's placement and state, the splitters,
// and the messages that reach the window's handlers.
#include "MainWindow.h"

#include <commctrl.h>
#include <windowsx.h>
// windowsx.h's IsMinimized(hwnd) would rename the edge's IsMinimized().
#undef IsMinimized

#include <algorithm>
#include <memory>

#include "AboutForm.h"
#include "Win32KeyMessages.h"

namespace {

constexpr UINT_PTR kVisualTimerId = 1;
constexpr UINT_PTR kSharedMapTimerId = 2;
constexpr UINT kComboBoxId = 10;

// Design sizes, in pixels at 96 dots per inch.
constexpr int kScrollBarWidth = 16;
constexpr int kSplitter1Width = 1;
constexpr int kSplitter2Height = 2;
constexpr int kLabel1Height = 13;
constexpr int kFaderPanelHeight = 28;
constexpr int kSoundCardPanelHeight = 22;
constexpr int kStatusBarHeight = 21;
constexpr int kTrackBar1Width = 81;
constexpr int kTrackBar3Width = 57;
// A one-pixel splitter is hard to hit: the mouse takes it a little wider.
constexpr int kSplitterGrab = 2;

COLORREF ColorRef(TColor c)
{
    return RGB((c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF);
}

using GetDpiForWindowFn = UINT(WINAPI*)(HWND);

int WindowDpi(HWND window)
{
    // Windows 10's per-window value when there is one, else the system's.
    static const auto fn = reinterpret_cast<GetDpiForWindowFn>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("user32.dll"), "GetDpiForWindow")));
    if (fn != nullptr && window != nullptr) {
        const UINT dpi = fn(window);
        if (dpi != 0)
            return static_cast<int>(dpi);
    }
    HDC dc = ::GetDC(nullptr);
    const int dpi = ::GetDeviceCaps(dc, LOGPIXELSX);
    ::ReleaseDC(nullptr, dc);
    return dpi > 0 ? dpi : 96;
}

bool Inside(const RECT& r, POINT p)
{
    return p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom;
}

void Move(HWND control, const RECT& r)
{
    if (control != nullptr)
        ::MoveWindow(control, r.left, r.top, std::max<LONG>(0, r.right - r.left), std::max<LONG>(0, r.bottom - r.top),
                     TRUE);
}

void Show(HWND control, bool visible)
{
    if (control != nullptr)
        ::ShowWindow(control, visible ? SW_SHOWNA : SW_HIDE);
}

}  // namespace

TVxSoundWindow* WindowOf(HWND window)
{
    return reinterpret_cast<TVxSoundWindow*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
}

// ---- construction ----------------------------------------------------------

TVxSoundWindow::TVxSoundWindow()
{
    images_.fill(-2);
    HINSTANCE instance = ::GetModuleHandleA(nullptr);
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = &TVxSoundWindow::Procedure;
    wc.hInstance = instance;
    wc.hCursor = ::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    wc.hIcon = TImageList::Icon(TImageList::kWindowImage, 32);
    wc.hIconSm = TImageList::Icon(TImageList::kWindowImage, 16);
    wc.lpszClassName = kAnalyzerWindowClass;
    ::RegisterClassExA(&wc);

    black_ = ::CreateSolidBrush(RGB(0, 0, 0));
    face_ = ::CreateSolidBrush(ColorRef(clBtnFace));
    // Designed stay-on-top and minimized; start-up decides what is shown.
    Handle = ::CreateWindowExA(WS_EX_TOPMOST, kAnalyzerWindowClass, kApplicationTitle,
                               WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 450, 185, 305, 333, nullptr, nullptr, instance,
                               this);
    if (Handle == nullptr)
        return;
    dpi_ = WindowDpi(Handle);
    if (dpi_ != 96) {
        RECT r;
        ::GetWindowRect(Handle, &r);
        ::SetWindowPos(Handle, nullptr, 0, 0, Scaled(305), Scaled(333), SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    MakeFonts();
    BuildControls();
    BuildMenu();
    ConnectDisplays();
    ApplyFonts();
    Layout();
    ::SetTimer(Handle, kVisualTimerId, 100, nullptr);
    ::SetTimer(Handle, kSharedMapTimerId, 100, nullptr);
}

TVxSoundWindow::~TVxSoundWindow()
{
    if (Handle != nullptr && ::IsWindow(Handle)) {
        ::KillTimer(Handle, kVisualTimerId);
        ::KillTimer(Handle, kSharedMapTimerId);
        ::SetWindowLongPtrA(Handle, GWLP_USERDATA, 0);
        ::DestroyWindow(Handle);
    }
    for (HICON i : menuIcons_)
        if (i != nullptr)
            ::DestroyIcon(i);
    for (HGDIOBJ o : {static_cast<HGDIOBJ>(font_), static_cast<HGDIOBJ>(black_), static_cast<HGDIOBJ>(face_),
                      static_cast<HGDIOBJ>(blankCheck_)})
        if (o != nullptr)
            ::DeleteObject(o);
}

void TVxSoundWindow::MakeFonts()
{
    if (font_ != nullptr)
        ::DeleteObject(font_);
    font_ = ::CreateFontA(-Scaled(11), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                          CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, "MS Sans Serif");
}

void TVxSoundWindow::ApplyFonts()
{
    for (HWND w : {ComboBox1, StatusBar1, Label1, Tooltip})
        if (w != nullptr)
            ::SendMessageA(w, WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
    if (ComboBox1 != nullptr) {
        ::SendMessageA(ComboBox1, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), Scaled(kSoundCardPanelHeight) - 7);
        ::SendMessageA(ComboBox1, CB_SETITEMHEIGHT, 0, Scaled(13));
    }
    if (StatusBar1 != nullptr) {
        const int parts[] = {Scaled(kLightPanelWidth), Scaled(2 * kLightPanelWidth), -1};
        ::SendMessageA(StatusBar1, SB_SETPARTS, 3, reinterpret_cast<LPARAM>(parts));
        ::SendMessageA(StatusBar1, SB_SETTEXTA, 0 | SBT_OWNERDRAW, 0);
        ::SendMessageA(StatusBar1, SB_SETTEXTA, 1 | SBT_OWNERDRAW, 0);
    }
    if (TrackBar1 != nullptr)
        for (HWND t : {TrackBar1, TrackBar2, TrackBar3})
            ::SendMessageA(t, TBM_SETTHUMBLENGTH, static_cast<WPARAM>(Scaled(kFaderPanelHeight) * 3 / 5), 0);
}

void TVxSoundWindow::BuildControls()
{
    HINSTANCE instance = ::GetModuleHandleA(nullptr);
    const auto child = [&](DWORD exStyle, const char* cls, const char* name, DWORD style, UINT id = 0) {
        return ::CreateWindowExA(exStyle, cls, name, WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0, Handle,
                                 reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)), instance, nullptr);
    };
    PaintBox1.Create(Handle, "PaintBox1");
    Label1 = child(0, "STATIC", "0.00 BPM", SS_LEFT | SS_NOPREFIX);
    PaintBox2.Create(Handle, "PaintBox2");
    PaintBox3.Create(Handle, "PaintBox3");
    const DWORD fader = TBS_HORZ | TBS_BOTTOM | TBS_AUTOTICKS | TBS_FIXEDLENGTH | WS_TABSTOP;
    TrackBar1 = child(0, TRACKBAR_CLASSA, "TrackBar1", fader);
    TrackBar3 = child(0, TRACKBAR_CLASSA, "TrackBar3", fader);
    TrackBar2 = child(0, TRACKBAR_CLASSA, "TrackBar2", fader);
    ComboBox1 = child(0, WC_COMBOBOXA, "ComboBox1",
                      CBS_DROPDOWNLIST | CBS_OWNERDRAWFIXED | CBS_HASSTRINGS | WS_VSCROLL | WS_TABSTOP, kComboBoxId);
    // The gain bar comes last in the Tab order, after the chooser.
    ScrollBar1 = child(0, "SCROLLBAR", "ScrollBar1", SBS_VERT | WS_TABSTOP);
    StatusBar1 = child(0, STATUSCLASSNAMEA, "", CCS_NORESIZE | CCS_NOPARENTALIGN | CCS_NODIVIDER);
    ::SetWindowSubclass(StatusBar1, &TVxSoundWindow::StatusBarProcedure, 1, reinterpret_cast<DWORD_PTR>(this));
    // The faders' tick marks: every other step of the decay, every tenth of
    // the others; page steps as the toolkit's default.
    const struct {
        HWND fader;
        int tick;
    } ticks[] = {{TrackBar1, 2}, {TrackBar3, 10}, {TrackBar2, 10}};
    for (const auto& t : ticks) {
        ::SendMessageA(t.fader, TBM_SETTICFREQ, static_cast<WPARAM>(t.tick), 0);
        ::SendMessageA(t.fader, TBM_SETPAGESIZE, 0, 2);
        ::SendMessageA(t.fader, TBM_SETLINESIZE, 0, 1);
    }
    for (TPositionId id : {TPositionId::TrackBar1, TPositionId::TrackBar2, TPositionId::TrackBar3,
                           TPositionId::ScrollBar1}) {
        const TPositionControl& c = App.Control(id);
        ShowPosition(id, c.Min(), c.Max(), c.Position());
    }

    Tooltip = ::CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP,
                                CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, Handle, nullptr, instance,
                                nullptr);
    ::SendMessageA(Tooltip, TTM_SETMAXTIPWIDTH, 0, 400);
    for (int i = 0; i < kHintControls; ++i) {
        TOOLINFOA tool{};
        tool.cbSize = sizeof tool;
        tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        tool.hwnd = Handle;
        tool.uId = reinterpret_cast<UINT_PTR>(Control(static_cast<THintId>(i)));
        tool.lpszText = LPSTR_TEXTCALLBACKA;
        ::SendMessageA(Tooltip, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
        ShowHint(static_cast<THintId>(i), App.Hint(static_cast<THintId>(i)));
    }

    Splitter1.Color = clBtnFace;
    Splitter1.OnCanResize = [this](int fftWidth) { return App.Splitter1CanResize(Unscaled(fftWidth)); };
    Splitter1.OnMoved = [this](int fftWidth) {
        fftWidth_ = fftWidth;
        Layout();
        App.KeepSplits();
    };
    Splitter2.Color = RGBColor(128, 128, 128);
    Splitter2.OnCanResize = [this](int panel2Height) { return App.Splitter2CanResize(Unscaled(panel2Height)); };
    Splitter2.OnMoved = [this](int panel2Height) {
        panel2Height_ = panel2Height;
        Layout();
        App.KeepSplits();
    };
}

HWND TVxSoundWindow::PositionControl(TPositionId control) const
{
    switch (control) {
    case TPositionId::TrackBar1: return TrackBar1;
    case TPositionId::TrackBar2: return TrackBar2;
    case TPositionId::TrackBar3: return TrackBar3;
    case TPositionId::ScrollBar1: break;
    }
    return ScrollBar1;
}

HWND TVxSoundWindow::Control(THintId control) const
{
    switch (control) {
    case THintId::ScrollBar1: return ScrollBar1;
    case THintId::TrackBar1: return TrackBar1;
    case THintId::TrackBar2: return TrackBar2;
    case THintId::TrackBar3: return TrackBar3;
    case THintId::ComboBox1: return ComboBox1;
    case THintId::PaintBox1: return PaintBox1.Handle();
    case THintId::PaintBox2: return PaintBox2.Handle();
    case THintId::PaintBox3: return PaintBox3.Handle();
    case THintId::StatusBar1: break;
    }
    return StatusBar1;
}

RECT TVxSoundWindow::PanelRect(TPanelId panel) const
{
    return rects_[static_cast<int>(panel)];
}

// ---- layout --------------------------------------------------------------------

void TVxSoundWindow::Layout()
{
    if (Handle == nullptr || ::IsIconic(Handle))
        return;
    RECT client;
    ::GetClientRect(Handle, &client);
    const int w = client.right;
    int bottom = client.bottom;
    const auto shown = [this](TPanelId p) { return panels_[static_cast<int>(p)]; };
    const RECT none{};
    // Stacked from the bottom: status bar, sound-card panel, faders.
    const int statusHeight = std::min(Scaled(kStatusBarHeight), bottom);
    Move(StatusBar1, RECT{0, bottom - statusHeight, w, bottom});
    bottom -= statusHeight;
    RECT& card = rects_[static_cast<int>(TPanelId::SoundCardPanel)];
    card = none;
    if (shown(TPanelId::SoundCardPanel)) {
        const int h = std::min(Scaled(kSoundCardPanelHeight), bottom);
        card = RECT{0, bottom - h, w, bottom};
        bottom -= h;
        RECT combo = card;
        combo.bottom = card.top + Scaled(kSoundCardPanelHeight) + 8 * Scaled(13);  // eight lines drop below
        Move(ComboBox1, combo);
    }
    RECT& faders = rects_[static_cast<int>(TPanelId::FaderPanel)];
    faders = none;
    if (shown(TPanelId::FaderPanel)) {
        const int h = std::min(Scaled(kFaderPanelHeight), bottom);
        faders = RECT{0, bottom - h, w, bottom};
        bottom -= h;
        const int t1 = std::min(Scaled(kTrackBar1Width), w);
        const int t3 = std::min(Scaled(kTrackBar3Width), w - t1);
        Move(TrackBar1, RECT{0, faders.top, t1, faders.bottom});
        Move(TrackBar3, RECT{t1, faders.top, t1 + t3, faders.bottom});
        Move(TrackBar2, RECT{t1 + t3, faders.top, w, faders.bottom});
    }

    // Above them: the gain bar at the left, FFTPanel at the right behind
    // Splitter1, and the level display in the rest.
    const int sb = std::min(Scaled(kScrollBarWidth), w);
    Move(ScrollBar1, RECT{0, 0, sb, bottom});
    int right = w;
    RECT& fft = rects_[static_cast<int>(TPanelId::FFTPanel)];
    fft = none;
    Splitter1.Strip = none;
    Splitter2.Strip = none;
    panel2_ = none;
    if (shown(TPanelId::FFTPanel)) {
        const int s1 = Scaled(kSplitter1Width);
        const int fw = std::clamp(fftWidth_, 0, std::max(0, w - sb - s1));
        fft = RECT{w - fw, 0, w, bottom};
        Splitter1.Strip = RECT{fft.left - s1, 0, fft.left, bottom};
        Splitter1.Bounds = RECT{sb, 0, w, bottom};
        right = Splitter1.Strip.left;
        // Inside the lowered bevel: the analyzer, Splitter2 and Panel2.
        const RECT in{fft.left + 1, fft.top + 1, std::max(fft.left + 1, fft.right - 1), std::max(fft.top + 1, fft.bottom - 1)};
        const int s2 = Scaled(kSplitter2Height);
        const int ph = std::clamp(panel2Height_, 0, std::max(0, static_cast<int>(in.bottom - in.top) - s2));
        panel2_ = RECT{in.left, in.bottom - ph, in.right, in.bottom};
        Splitter2.Strip = RECT{in.left, panel2_.top - s2, in.right, panel2_.top};
        Splitter2.Bounds = in;
        Move(PaintBox2.Handle(), RECT{in.left, in.top, in.right, Splitter2.Strip.top});
        Move(PaintBox3.Handle(), panel2_);
    }
    level_ = RECT{sb, 0, std::max(sb, right), bottom};
    RECT& panel1 = rects_[static_cast<int>(TPanelId::Panel1)];
    panel1 = none;
    if (shown(TPanelId::Panel1)) {
        panel1 = level_;
        const RECT in{panel1.left + 1, panel1.top + 1, std::max(panel1.left + 1, panel1.right - 1),
                      std::max(panel1.top + 1, panel1.bottom - 1)};
        const int lh = std::min(Scaled(kLabel1Height), static_cast<int>(in.bottom - in.top));
        Move(PaintBox1.Handle(), RECT{in.left, in.top, in.right, in.bottom - lh});
        Move(Label1, RECT{in.left, in.bottom - lh, in.right, in.bottom});
    }
    ::InvalidateRect(Handle, nullptr, FALSE);

    // The bitmaps follow their boxes.
    App.Panel1Resize();
    App.FFTPanelResize();
}

void TVxSoundWindow::Paint()
{
    PAINTSTRUCT ps;
    HDC dc = ::BeginPaint(Handle, &ps);
    RECT client;
    ::GetClientRect(Handle, &client);
    ::FillRect(dc, &client, black_);
    for (TPanelId p : {TPanelId::FaderPanel, TPanelId::SoundCardPanel}) {
        const RECT r = PanelRect(p);
        ::FillRect(dc, &r, face_);
    }
    for (const TSplitter* s : {&Splitter1, &Splitter2}) {
        if (s->Strip.right <= s->Strip.left)
            continue;
        HBRUSH b = ::CreateSolidBrush(ColorRef(s->Color));
        ::FillRect(dc, &s->Strip, b);
        ::DeleteObject(b);
    }
    // Panel1 and FFTPanel: a lowered outer bevel.
    for (TPanelId p : {TPanelId::Panel1, TPanelId::FFTPanel}) {
        RECT r = PanelRect(p);
        if (r.right > r.left)
            ::DrawEdge(dc, &r, BDR_SUNKENOUTER, BF_RECT);
    }
    ::EndPaint(Handle, &ps);
}

// ---- controls and panels -----------------------------------------------------

void TVxSoundWindow::ShowPosition(TPositionId control, int min, int max, int position)
{
    HWND w = PositionControl(control);
    if (control == TPositionId::ScrollBar1) {
        SCROLLINFO info{};
        info.cbSize = sizeof info;
        info.fMask = SIF_RANGE | SIF_POS | SIF_PAGE | SIF_DISABLENOSCROLL;
        info.nMin = min;
        info.nMax = max;
        info.nPage = 0;
        info.nPos = position;
        ::SetScrollInfo(w, SB_CTL, &info, TRUE);
        return;
    }
    ::SendMessageA(w, TBM_SETRANGEMIN, FALSE, min);
    ::SendMessageA(w, TBM_SETRANGEMAX, FALSE, max);
    ::SendMessageA(w, TBM_SETPOS, TRUE, position);
}

void TVxSoundWindow::OnScroll(HWND control, int code)
{
    for (TPositionId id : {TPositionId::TrackBar1, TPositionId::TrackBar2, TPositionId::TrackBar3}) {
        if (control != PositionControl(id))
            continue;
        // The fader has moved its thumb; the window's control runs the
        // change handler when the position is new.
        App.Control(id).SetPosition(static_cast<int>(::SendMessageA(control, TBM_GETPOS, 0, 0)));
        return;
    }
    if (control != ScrollBar1)
        return;
    SCROLLINFO info{};
    info.cbSize = sizeof info;
    info.fMask = SIF_ALL;
    ::GetScrollInfo(ScrollBar1, SB_CTL, &info);
    int pos = info.nPos;
    switch (code) {
    case SB_LINEUP: pos -= 1; break;
    case SB_LINEDOWN: pos += 1; break;
    case SB_PAGEUP: pos -= 10; break;
    case SB_PAGEDOWN: pos += 10; break;
    case SB_TOP: pos = info.nMin; break;
    case SB_BOTTOM: pos = info.nMax; break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION: pos = info.nTrackPos; break;
    default: return;
    }
    App.ScrollBar1.SetPosition(pos);
}

void TVxSoundWindow::ShowPanel(TPanelId panel, bool visible)
{
    panels_[static_cast<int>(panel)] = visible;
    switch (panel) {
    case TPanelId::Panel1:
        Show(PaintBox1.Handle(), visible);
        Show(Label1, visible);
        break;
    case TPanelId::FFTPanel:
        Show(PaintBox2.Handle(), visible);
        Show(PaintBox3.Handle(), visible);
        break;
    case TPanelId::FaderPanel:
        for (HWND t : {TrackBar1, TrackBar2, TrackBar3})
            Show(t, visible);
        break;
    case TPanelId::SoundCardPanel:
        Show(ComboBox1, visible);
        break;
    }
    Layout();
}

void TVxSoundWindow::ShowDevices(const std::vector<std::string>& entries, int selected)
{
    const auto count = static_cast<int>(::SendMessageA(ComboBox1, CB_GETCOUNT, 0, 0));
    bool same = count == static_cast<int>(entries.size());
    for (int i = 0; same && i < count; ++i) {
        char text[512] = {};
        if (::SendMessageA(ComboBox1, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0) < static_cast<LRESULT>(sizeof text))
            ::SendMessageA(ComboBox1, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
        same = entries[static_cast<std::size_t>(i)] == text;
    }
    if (!same) {
        ::SendMessageA(ComboBox1, CB_RESETCONTENT, 0, 0);
        for (const std::string& e : entries)
            ::SendMessageA(ComboBox1, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(e.c_str()));
    }
    ::SendMessageA(ComboBox1, CB_SETCURSEL, static_cast<WPARAM>(selected), 0);
}

void TVxSoundWindow::EnableTimer(TTimerId timer, bool enabled)
{
    const bool visual = timer == TTimerId::VisualTimer;
    bool& on = visual ? visualTimer_ : sharedMapTimer_;
    if (on == enabled)
        return;
    on = enabled;
    const UINT_PTR id = visual ? kVisualTimerId : kSharedMapTimerId;
    if (enabled)
        ::SetTimer(Handle, id, 100, nullptr);
    else
        ::KillTimer(Handle, id);
}

// ---- splitters -------------------------------------------------------------------

bool TVxSoundWindow::CurrentSplits(int& fftWidth, int& panel2Height) const
{
    if (!panels_[static_cast<int>(TPanelId::FFTPanel)])
        return false;
    const RECT fft = PanelRect(TPanelId::FFTPanel);
    fftWidth = Unscaled(fft.right - fft.left);
    panel2Height = Unscaled(panel2_.bottom - panel2_.top);
    return true;
}

void TVxSoundWindow::ShowSplits(int fftWidth, int panel2Height)
{
    fftWidth_ = Scaled(fftWidth);
    panel2Height_ = Scaled(panel2Height);
    Layout();
}

bool TVxSoundWindow::SplitterAt(POINT p, TSplitter*& splitter) const
{
    for (const TSplitter* s : {&Splitter1, &Splitter2}) {
        if (s->Strip.right <= s->Strip.left)
            continue;
        RECT grab = s->Strip;
        if (s->Vertical())
            ::InflateRect(&grab, Scaled(kSplitterGrab), 0);
        else
            ::InflateRect(&grab, 0, Scaled(kSplitterGrab) / 2);
        if (Inside(grab, p)) {
            splitter = const_cast<TSplitter*>(s);
            return true;
        }
    }
    return false;
}

// ---- the window's state and placement ---------------------------------------------

void TVxSoundWindow::ShowStayOnTop(bool onTop)
{
    const bool now = (::GetWindowLongPtrA(Handle, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
    if (now != onTop)
        ::SetWindowPos(Handle, onTop ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                       SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

bool TVxSoundWindow::IsShown() const
{
    return shown_;
}

void TVxSoundWindow::ShowMinimized(bool minimized)
{
    if (minimized != (::IsIconic(Handle) != FALSE))
        ::ShowWindow(Handle, minimized ? SW_MINIMIZE : SW_RESTORE);
}

bool TVxSoundWindow::IsMinimized() const
{
    return shown_ ? ::IsIconic(Handle) != FALSE : App.MinimizedBeforeShow();
}

void TVxSoundWindow::ShowAtStart()
{
    shown_ = true;
    minimized_ = App.MinimizedBeforeShow();
    ::ShowWindow(Handle, minimized_ ? SW_SHOWMINNOACTIVE : SW_SHOWNORMAL);
    ::UpdateWindow(Handle);
}

namespace {

// Workspace coordinates (of a window placement) differ from the screen's
// by where the monitor's free area starts.
POINT WorkspaceOffset(HWND window)
{
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (!::GetMonitorInfoA(::MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY), &info))
        return {0, 0};
    return {info.rcWork.left - info.rcMonitor.left, info.rcWork.top - info.rcMonitor.top};
}

}  // namespace

void TVxSoundWindow::Place(const TPlacement& design)
{
    const TPlacement p{Scaled(design.Left), Scaled(design.Top), Scaled(design.Width), Scaled(design.Height)};
    if (::IsIconic(Handle)) {
        WINDOWPLACEMENT place{};
        place.length = sizeof place;
        ::GetWindowPlacement(Handle, &place);
        const POINT off = WorkspaceOffset(Handle);
        place.rcNormalPosition = RECT{p.Left - off.x, p.Top - off.y, p.Left - off.x + p.Width, p.Top - off.y + p.Height};
        place.showCmd = SW_SHOWMINNOACTIVE;
        ::SetWindowPlacement(Handle, &place);
        return;
    }
    ::SetWindowPos(Handle, nullptr, p.Left, p.Top, p.Width, p.Height, SWP_NOZORDER | SWP_NOACTIVATE);
}

TPlacement TVxSoundWindow::Placement() const
{
    RECT r{};
    if (::IsIconic(Handle)) {
        WINDOWPLACEMENT place{};
        place.length = sizeof place;
        ::GetWindowPlacement(Handle, &place);
        const POINT off = WorkspaceOffset(Handle);
        r = place.rcNormalPosition;
        ::OffsetRect(&r, off.x, off.y);
    } else {
        ::GetWindowRect(Handle, &r);
    }
    return {Unscaled(r.left), Unscaled(r.top), Unscaled(r.right - r.left), Unscaled(r.bottom - r.top)};
}

TPlacement TVxSoundWindow::WorkArea(int left, int top) const
{
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (!::GetMonitorInfoA(::MonitorFromPoint(POINT{Scaled(left), Scaled(top)}, MONITOR_DEFAULTTOPRIMARY), &info))
        return {};
    const RECT& r = info.rcWork;
    return {Unscaled(r.left), Unscaled(r.top), Unscaled(r.right - r.left), Unscaled(r.bottom - r.top)};
}

void TVxSoundWindow::EndWindow()
{
    ended_ = true;
    ::ShowWindow(Handle, SW_HIDE);
    ::PostQuitMessage(0);
}

void TVxSoundWindow::OnSizeChange(WPARAM kind)
{
    const bool minimized = kind == SIZE_MINIMIZED;
    if (shown_ && minimized != minimized_) {
        minimized_ = minimized;
        App.WindowMinimized(minimized);
    }
    if (!minimized)
        Layout();
}

void TVxSoundWindow::OnDpiChanged(int dpi, const RECT& suggested)
{
    // The panels keep their share of the design: sizes scale with the dpi.
    fftWidth_ = MulDiv(fftWidth_, dpi, dpi_);
    panel2Height_ = MulDiv(panel2Height_, dpi, dpi_);
    dpi_ = dpi;
    MakeFonts();
    ApplyFonts();
    // The menu's images are drawn anew at the new size.
    for (HICON& i : menuIcons_) {
        if (i != nullptr)
            ::DestroyIcon(i);
        i = nullptr;
    }
    for (int i = 0; i < kMenuItems; ++i) {
        const TMenuItem& item = App.Item(static_cast<TMenuId>(i));
        images_[static_cast<std::size_t>(i)] = -2;
        ShowMenuItem(static_cast<TMenuId>(i), item.Tag, item.ImageIndex);
    }
    ::SetWindowPos(Handle, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                   suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
    Layout();
    App.KeepSplits();
}

// ---- application handlers and the message loop -------------------------------

void TVxSoundWindow::InstallApplicationHandlers()
{
    handlers_ = true;
}

bool TVxSoundWindow::PreTranslate(MSG& msg)
{
    if (handlers_ && keyMessages_ != nullptr && msg.message >= WM_KEYFIRST && msg.message <= WM_KEYLAST)
        ForwardKeyMessage(msg, App.PassKeypressestoVantorix.Tag, *keyMessages_);
    const bool ours = msg.hwnd == Handle || ::IsChild(Handle, msg.hwnd);
    if (msg.message == WM_MOUSEMOVE && ours)
        TrackHint(msg.hwnd);
    // Tab and Shift+Tab walk the controls, as on a dialog; the window's
    // other keys stay the controls' own.
    if (msg.message == WM_KEYDOWN && msg.wParam == VK_TAB && ours) {
        const bool back = (::GetKeyState(VK_SHIFT) & 0x8000) != 0;
        if (HWND next = ::GetNextDlgTabItem(Handle, ::GetFocus(), back ? TRUE : FALSE))
            ::SetFocus(next);
        return true;
    }
    if (AboutForm != nullptr && AboutForm->Handle != nullptr && ::IsWindowVisible(AboutForm->Handle) &&
        ::IsDialogMessageA(AboutForm->Handle, &msg))
        return true;
    return false;
}

int TVxSoundWindow::Run()
{
    MSG msg;
    while (::GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (PreTranslate(msg))
            continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
    return static_cast<int>(msg.wParam);
}

void TVxSoundWindow::ProcessMessages()
{
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            // Left for the loop that runs the program.
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        if (PreTranslate(msg))
            continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
}

void TVxSoundWindow::PostToWindow(std::function<void()> fn)
{
    auto* call = new std::function<void()>(std::move(fn));
    if (!::PostMessageA(Handle, kPostedCallMessage, 0, reinterpret_cast<LPARAM>(call)))
        delete call;
}

char TVxSoundWindow::DecimalSeparator() const
{
    char point[8] = {};
    if (::GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, point, sizeof point) > 0 && point[1] == '\0' &&
        static_cast<unsigned char>(point[0]) < 0x80 && point[0] != '\0')
        return point[0];
    return '.';
}

// ---- messages ---------------------------------------------------------------------

LRESULT CALLBACK TVxSoundWindow::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        auto* self = static_cast<TVxSoundWindow*>(create->lpCreateParams);
        self->Handle = window;
        ::SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    TVxSoundWindow* self = WindowOf(window);
    if (self == nullptr || self->Handle != window)
        return ::DefWindowProcA(window, message, wParam, lParam);
    return self->Dispatch(message, wParam, lParam);
}

void TVxSoundWindow::DragSplitter(TSplitter& splitter, POINT p)
{
    splitter.Begin(Handle, p);
}

LRESULT TVxSoundWindow::Dispatch(UINT message, WPARAM wParam, LPARAM lParam)
{
    const POINT mouse{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    switch (message) {
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT:
        Paint();
        return 0;
    case WM_SIZE:
        OnSizeChange(wParam);
        return 0;
    case WM_EXITSIZEMOVE:
        // The user's resize: the splitters' sizes as they are now are kept.
        App.KeepSplits();
        return 0;
    case WM_HSCROLL:
    case WM_VSCROLL:
        OnScroll(reinterpret_cast<HWND>(lParam), LOWORD(wParam));
        return 0;
    case WM_COMMAND:
        if (OnCommand(wParam, lParam))
            return 0;
        break;
    case WM_NOTIFY: {
        auto* header = reinterpret_cast<NMHDR*>(lParam);
        if (header->hwndFrom == Tooltip && header->code == TTN_GETDISPINFOA) {
            auto* info = reinterpret_cast<NMTTDISPINFOA*>(lParam);
            for (int i = 0; i < kHintControls; ++i)
                if (reinterpret_cast<UINT_PTR>(Control(static_cast<THintId>(i))) == header->idFrom)
                    info->lpszText = const_cast<char*>(tips_[static_cast<std::size_t>(i)].c_str());
            return 0;
        }
        break;
    }
    case WM_DRAWITEM:
        if (OnDrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam)))
            return TRUE;
        break;
    case WM_MEASUREITEM:
        OnMeasureItem(*reinterpret_cast<MEASUREITEMSTRUCT*>(lParam));
        return TRUE;
    case WM_CTLCOLORSTATIC: {
        HDC dc = reinterpret_cast<HDC>(wParam);
        if (reinterpret_cast<HWND>(lParam) == Label1) {
            ::SetTextColor(dc, label1Color_);
            ::SetBkColor(dc, RGB(0, 0, 0));
            return reinterpret_cast<LRESULT>(black_);
        }
        // The faders stand on the button face.
        ::SetBkColor(dc, ColorRef(clBtnFace));
        return reinterpret_cast<LRESULT>(face_);
    }
    case WM_CTLCOLORLISTBOX:
        ::SetTextColor(reinterpret_cast<HDC>(wParam), RGB(0, 255, 0));
        ::SetBkColor(reinterpret_cast<HDC>(wParam), RGB(0, 0, 0));
        return reinterpret_cast<LRESULT>(black_);
    case WM_TIMER:
        if (wParam == kVisualTimerId && visualTimer_)
            App.VisualTimerTimer();
        else if (wParam == kSharedMapTimerId && sharedMapTimer_)
            App.SharedMapTimerTimer();
        return 0;
    case WM_MENUSELECT:
        OnMenuSelect(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HMENU>(lParam));
        return 0;
    case WM_INITMENUPOPUP:
        if (HIWORD(lParam) == 0)
            OnInitMenuPopup(reinterpret_cast<HMENU>(wParam));
        return 0;
    case WM_SETCURSOR: {
        TSplitter* s = nullptr;
        POINT p;
        ::GetCursorPos(&p);
        ::ScreenToClient(Handle, &p);
        if (reinterpret_cast<HWND>(wParam) == Handle && LOWORD(lParam) == HTCLIENT && SplitterAt(p, s)) {
            ::SetCursor(::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(s->Vertical() ? IDC_SIZEWE : IDC_SIZENS)));
            return TRUE;
        }
        break;
    }
    case WM_LBUTTONDOWN: {
        TSplitter* s = nullptr;
        if (SplitterAt(mouse, s))
            DragSplitter(*s, mouse);
        return 0;
    }
    case WM_MOUSEMOVE:
        for (TSplitter* s : {&Splitter1, &Splitter2})
            s->Move(mouse);
        return 0;
    case WM_LBUTTONUP:
        for (TSplitter* s : {&Splitter1, &Splitter2})
            s->End(mouse);
        return 0;
    case WM_CAPTURECHANGED:
        if (reinterpret_cast<HWND>(lParam) != Handle)
            for (TSplitter* s : {&Splitter1, &Splitter2})
                s->Cancel();
        return 0;
    case WM_CLOSE:
        // Whoever closes (the close box, Alt+F4) goes through the question.
        App.Close();
        return 0;
    case WM_ACTIVATE:
        // A window coming back gives the focus to the control that had it,
        // the first fader at first.
        if (LOWORD(wParam) == WA_INACTIVE)
            focus_ = ::GetFocus();
        break;
    case WM_SETFOCUS:
        ::SetFocus(focus_ != nullptr && ::IsWindowVisible(focus_) ? focus_ : TrackBar1);
        return 0;
    case WM_QUERYENDSESSION:
        return TRUE;
    case WM_ENDSESSION:
        // The session ends: close as the host would, without asking.
        if (wParam != 0)
            App.HostMessage(kHostCloseMessage, 0, 0);
        return 0;
    case WM_DPICHANGED:
        OnDpiChanged(LOWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
        return 0;
    case kRaiseWindowMessage:
        if (::IsIconic(Handle))
            ::ShowWindow(Handle, SW_RESTORE);
        ::SetForegroundWindow(Handle);
        return 1;
    case kPostedCallMessage: {
        std::unique_ptr<std::function<void()>> call(reinterpret_cast<std::function<void()>*>(lParam));
        if (call && *call)
            (*call)();
        return 0;
    }
    default:
        if (message == kHostCloseMessage)
            return static_cast<LRESULT>(App.HostMessage(message, static_cast<std::uint64_t>(wParam),
                                                        static_cast<std::int64_t>(lParam)));
        break;
    }
    return ::DefWindowProcA(Handle, message, wParam, lParam);
}
