// The paint boxes, the status bar, the tempo label, the chooser's lines
// and the hints in Win32: the displays draw into the boxes' canvases, the
// mouse goes to the window's handlers.
#include "MainWindow.h"

#include <commctrl.h>
#include <windowsx.h>
// windowsx.h's IsMinimized(hwnd) would rename the edge's IsMinimized().
#undef IsMinimized

namespace {

// The status bar's design height: the lights are drawn at it.
constexpr int kLightsHeight = 21;

COLORREF ColorRef(TColor c)
{
    return RGB((c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF);
}

}  // namespace

void TVxSoundWindow::ConnectDisplays()
{
    // The paint boxes are drawn by the refresh tick only.
    PaintBox1.OnMouseDown = [this](int b, unsigned m, int x, int y) { App.PaintBox1MouseDown(b, m, x, y); };
    PaintBox1.OnMouseMove = [this](unsigned m, int x, int y) { App.PaintBox1MouseMove(m, x, y); };
    PaintBox1.OnMouseUp = [this](int b, unsigned m, int x, int y) { App.PaintBox1MouseUp(b, m, x, y); };
    // The editor's mouse-down handler carries PaintBox2's name.
    PaintBox3.OnMouseDown = [this](int b, unsigned m, int x, int y) { App.PaintBox2MouseDown(b, m, x, y); };
    PaintBox3.OnMouseMove = [this](unsigned m, int x, int y) { App.PaintBox3MouseMove(m, x, y); };
    PaintBox3.OnMouseUp = [this](int b, unsigned m, int x, int y) { App.PaintBox3MouseUp(b, m, x, y); };
    PaintBox2.OnMouseMove = [this](unsigned m, int x, int y) { App.PaintBox2MouseMove(m, x, y); };
}

TCanvas& TVxSoundWindow::BoxCanvas(TDisplayBox box)
{
    switch (box) {
    case TDisplayBox::PaintBox1: return PaintBox1.Canvas();
    case TDisplayBox::PaintBox2: return PaintBox2.Canvas();
    case TDisplayBox::PaintBox3: break;
    }
    return PaintBox3.Canvas();
}

void TVxSoundWindow::BoxDrawn(TDisplayBox box)
{
    switch (box) {
    case TDisplayBox::PaintBox1: PaintBox1.Present(); return;
    case TDisplayBox::PaintBox2: PaintBox2.Present(); return;
    case TDisplayBox::PaintBox3: PaintBox3.Present(); return;
    }
}

void TVxSoundWindow::RepaintStatusBar()
{
    if (StatusBar1 == nullptr)
        return;
    ::InvalidateRect(StatusBar1, nullptr, FALSE);
    ::UpdateWindow(StatusBar1);
}

bool TVxSoundWindow::ReadPicture(const std::string& path, TCanvas& canvas)
{
    return LoadPictureFile(path, canvas);
}

void TVxSoundWindow::ShowLabel1(const std::string& caption, TColor fontColor)
{
    const COLORREF colour = ColorRef(fontColor);
    if (caption == label1Text_ && colour == label1Color_)
        return;
    label1Text_ = caption;
    label1Color_ = colour;
    ::SetWindowTextA(Label1, caption.c_str());
    ::InvalidateRect(Label1, nullptr, TRUE);
}

void TVxSoundWindow::ShowHint(THintId control, const std::string& hint)
{
    const auto i = static_cast<std::size_t>(control);
    const std::string tip = HintShortPart(hint);
    if (tips_[i] == tip)
        return;
    tips_[i] = tip;
    if (Tooltip == nullptr)
        return;
    // The tip asks for its text again; one showing goes with an empty text.
    TOOLINFOA tool{};
    tool.cbSize = sizeof tool;
    tool.hwnd = Handle;
    tool.uId = reinterpret_cast<UINT_PTR>(Control(control));
    tool.lpszText = LPSTR_TEXTCALLBACKA;
    ::SendMessageA(Tooltip, TTM_UPDATETIPTEXTA, 0, reinterpret_cast<LPARAM>(&tool));
    if (tip.empty())
        ::SendMessageA(Tooltip, TTM_POP, 0, 0);
}

void TVxSoundWindow::ShowStatusText(const std::string& text)
{
    if (StatusBar1 != nullptr)
        ::SendMessageA(StatusBar1, SB_SETTEXTA, 2 | SBT_NOBORDERS, reinterpret_cast<LPARAM>(text.c_str()));
}

// The control under the mouse gives the status panel its hint, once each
// time the mouse comes to another control; the controls that rewrite their
// hints while the mouse moves (the boxes, the status bar) do so themselves.
void TVxSoundWindow::TrackHint(HWND under)
{
    if (under == hintControl_)
        return;
    hintControl_ = under;
    for (int i = 0; i < kHintControls; ++i) {
        const auto id = static_cast<THintId>(i);
        HWND c = Control(id);
        if (c != nullptr && (c == under || ::IsChild(c, under))) {
            if (id != THintId::StatusBar1)
                App.ApplicationHint(App.Hint(id));
            return;
        }
    }
    App.ApplicationHint("");
}

void TVxSoundWindow::StatusBarMouseMove(int x, int y, WPARAM keys)
{
    // The lights are laid out at the design's size: the mouse is measured
    // back to it.
    App.StatusBar1MouseMove(static_cast<unsigned>(keys), MulDiv(x, 96, dpi_), MulDiv(y, 96, dpi_));
}

LRESULT CALLBACK TVxSoundWindow::StatusBarProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                                    UINT_PTR, DWORD_PTR data)
{
    if (message == WM_MOUSEMOVE)
        reinterpret_cast<TVxSoundWindow*>(data)->StatusBarMouseMove(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam),
                                                                   wParam);
    return ::DefSubclassProc(window, message, wParam, lParam);
}

bool TVxSoundWindow::OnDrawItem(const DRAWITEMSTRUCT& item)
{
    if (item.CtlType == ODT_MENU) {
        DrawMenuImage(item);
        return true;
    }
    if (item.hwndItem == StatusBar1) {
        // Each light is drawn by the window's handler for its own panel (a
        // trig's flash is taken by the draw that shows it), at the design's
        // size, then shown at the bar's scaling.
        const int part = static_cast<int>(item.itemID);
        TCanvas half(kLightPanelWidth, kLightsHeight, clBtnFace);
        App.Refresh.StatusBar1DrawPanel(half, part, TRect{0, 0, kLightPanelWidth, kLightsHeight});
        BlitCanvas(item.hDC, item.rcItem, half);
        return true;
    }
    if (item.hwndItem == ComboBox1) {
        RECT r = item.rcItem;
        const bool chosen = (item.itemState & ODS_SELECTED) != 0 && (item.itemState & ODS_COMBOBOXEDIT) == 0;
        HBRUSH back = ::CreateSolidBrush(chosen ? RGB(0, 255, 0) : RGB(0, 0, 0));
        ::FillRect(item.hDC, &r, back);
        ::DeleteObject(back);
        if (item.itemID != static_cast<UINT>(-1)) {
            char text[512] = {};
            if (::SendMessageA(ComboBox1, CB_GETLBTEXTLEN, item.itemID, 0) < static_cast<LRESULT>(sizeof text))
                ::SendMessageA(ComboBox1, CB_GETLBTEXT, item.itemID, reinterpret_cast<LPARAM>(text));
            HGDIOBJ old = ::SelectObject(item.hDC, font_);
            ::SetBkMode(item.hDC, TRANSPARENT);
            ::SetTextColor(item.hDC, chosen ? RGB(0, 0, 0) : RGB(0, 255, 0));
            r.left += Scaled(2);
            ::DrawTextA(item.hDC, text, -1, &r, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
            ::SelectObject(item.hDC, old);
        }
        if ((item.itemState & ODS_FOCUS) != 0 && (item.itemState & ODS_NOFOCUSRECT) == 0)
            ::DrawFocusRect(item.hDC, &item.rcItem);
        return true;
    }
    return false;
}

void TVxSoundWindow::OnMeasureItem(MEASUREITEMSTRUCT& item)
{
    if (item.CtlType == ODT_MENU) {
        // A menu image: 16 by 16 at the window's scaling.
        item.itemWidth = static_cast<UINT>(Scaled(TImageList::kSize));
        item.itemHeight = static_cast<UINT>(Scaled(TImageList::kSize));
        return;
    }
    if (item.CtlType != ODT_COMBOBOX)
        return;
    // The selection field fills the panel's height; the list's lines are
    // the design's 13 pixels high.
    item.itemHeight = static_cast<UINT>(item.itemID == static_cast<UINT>(-1) ? Scaled(22) - 7 : Scaled(13));
}
