// The About window in Win32: a white panel with the logo, the product's
// name, its version and the owner's notice, and the Close button.
#include "AboutForm.h"

#include "Widgets.h"

TAboutForm* AboutForm = nullptr;

namespace {

constexpr const char* kAboutClass = "TAboutForm";
constexpr int kClientWidth = 264;
constexpr int kClientHeight = 211;

}  // namespace

TAboutForm::TAboutForm(int dpi) : dpi_(dpi)
{
    HINSTANCE instance = ::GetModuleHandleA(nullptr);
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &TAboutForm::Procedure;
    wc.hInstance = instance;
    wc.hCursor = ::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kAboutClass;
    ::RegisterClassExA(&wc);

    font_ = ::CreateFontA(-Scaled(11), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                          CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, "MS Sans Serif");
    big_ = ::CreateFontA(-Scaled(19), 0, 0, 0, FW_BOLD, TRUE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                         CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, "MS Sans Serif");

    // A tool window's border without border icons, on top, centred.
    const DWORD style = WS_POPUP | WS_CAPTION | WS_CLIPCHILDREN;
    const DWORD exStyle = WS_EX_TOOLWINDOW | WS_EX_TOPMOST | WS_EX_CONTROLPARENT;
    RECT r{0, 0, Scaled(kClientWidth), Scaled(kClientHeight)};
    ::AdjustWindowRectEx(&r, style, FALSE, exStyle);
    const int w = r.right - r.left;
    const int h = r.bottom - r.top;
    const int x = (::GetSystemMetrics(SM_CXSCREEN) - w) / 2;
    const int y = (::GetSystemMetrics(SM_CYSCREEN) - h) / 2;
    Handle = ::CreateWindowExA(exStyle, kAboutClass, "About Corvane Audio Analyzer", style, x, y, w, h, nullptr,
                               nullptr, instance, this);
    if (Handle == nullptr)
        return;
    BitBtn1 = ::CreateWindowExA(0, "BUTTON", "&Close", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON,
                                Scaled(104), Scaled(184), Scaled(75), Scaled(25), Handle,
                                reinterpret_cast<HMENU>(static_cast<UINT_PTR>(IDOK)), instance, nullptr);
    ::SendMessageA(BitBtn1, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    // An icon, whose mask every system draws transparent.
    glyph_ = TImageList::Icon(TImageList::kCloseGlyph, Scaled(TImageList::kSize));
    if (glyph_ != nullptr)
        ::SendMessageA(BitBtn1, BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(glyph_));
}

TAboutForm::~TAboutForm()
{
    if (Handle != nullptr && ::IsWindow(Handle)) {
        ::SetWindowLongPtrA(Handle, GWLP_USERDATA, 0);
        ::DestroyWindow(Handle);
    }
    for (HGDIOBJ o : {static_cast<HGDIOBJ>(font_), static_cast<HGDIOBJ>(big_)})
        if (o != nullptr)
            ::DeleteObject(o);
    if (glyph_ != nullptr)
        ::DestroyIcon(glyph_);
}

void TAboutForm::Show()
{
    if (Handle == nullptr)
        return;
    ::ShowWindow(Handle, SW_SHOW);
    ::SetForegroundWindow(Handle);
    // Takes the focus, so Enter and Esc reach the button without a click.
    ::SetFocus(BitBtn1);
}

void TAboutForm::BitBtn1Click()
{
    ::ShowWindow(Handle, SW_HIDE);
}

LRESULT CALLBACK TAboutForm::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto* self = static_cast<TAboutForm*>(reinterpret_cast<const CREATESTRUCTA*>(lParam)->lpCreateParams);
        self->Handle = window;
        ::SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<TAboutForm*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
    if (self == nullptr)
        return ::DefWindowProcA(window, message, wParam, lParam);
    return self->Dispatch(message, wParam, lParam);
}

LRESULT TAboutForm::Dispatch(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_PAINT:
        Paint();
        return 0;
    case WM_COMMAND:
        // The button, Enter (its default) and Esc (its cancel).
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            BitBtn1Click();
            return 0;
        }
        break;
    case WM_CLOSE:
        BitBtn1Click();
        return 0;
    default:
        break;
    }
    return ::DefWindowProcA(Handle, message, wParam, lParam);
}

void TAboutForm::Paint()
{
    PAINTSTRUCT ps;
    HDC dc = ::BeginPaint(Handle, &ps);
    RECT panel{Scaled(8), Scaled(8), Scaled(8 + 249), Scaled(8 + 169)};
    ::FillRect(dc, &panel, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
    ::DrawEdge(dc, &panel, BDR_SUNKENOUTER | BDR_SUNKENINNER, BF_RECT);
    const int px = panel.left;
    const int py = panel.top;

    // The logo, 153 by 57: the analyzer's own bars over a black field.
    RECT logo{px + Scaled(48), py + Scaled(8), px + Scaled(48 + 153), py + Scaled(8 + 57)};
    ::FillRect(dc, &logo, static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH)));
    constexpr int kBars = 15;
    const int heights[kBars] = {20, 34, 46, 40, 52, 44, 36, 48, 30, 38, 26, 32, 22, 16, 10};
    const int barWidth = Scaled(153) / kBars;
    for (int i = 0; i < kBars; ++i) {
        const int top = logo.bottom - Scaled(heights[i]);
        for (int y = logo.bottom - Scaled(2); y > top; y -= Scaled(3)) {
            const int fromTop = y - logo.top;
            const COLORREF c = fromTop < Scaled(15) ? RGB(255, 0, 0) : fromTop < Scaled(30) ? RGB(255, 255, 0)
                                                                                        : RGB(0, 255, 0);
            HBRUSH b = ::CreateSolidBrush(c);
            RECT seg{logo.left + i * barWidth + 1, y - Scaled(2), logo.left + (i + 1) * barWidth - 1, y};
            ::FillRect(dc, &seg, b);
            ::DeleteObject(b);
        }
    }

    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, RGB(0, 0, 0));
    HGDIOBJ old = ::SelectObject(dc, big_);
    ::TextOutA(dc, px + Scaled(48), py + Scaled(64), "Audio Analyzer", 14);
    ::SelectObject(dc, font_);
    ::TextOutA(dc, px + Scaled(112), py + Scaled(96), "v. 1.2", 6);
    const char notice[] = "\xA9 Corvane. All rights reserved.";
    ::TextOutA(dc, px + Scaled(33), py + Scaled(144), notice, static_cast<int>(sizeof notice - 1));
    ::SelectObject(dc, old);
    ::EndPaint(Handle, &ps);
}
