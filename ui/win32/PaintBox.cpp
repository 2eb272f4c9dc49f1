#include "PaintBox.h"

#include <windowsx.h>

namespace {

constexpr const char* kPaintBoxClass = "VxPaintBox";

void RegisterOnce()
{
    static const bool registered = [] {
        WNDCLASSEXA wc{};
        wc.cbSize = sizeof wc;
        wc.style = CS_DBLCLKS;
        wc.lpfnWndProc = DefWindowProcA;
        wc.hInstance = ::GetModuleHandleA(nullptr);
        wc.hCursor = ::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
        wc.lpszClassName = kPaintBoxClass;
        return ::RegisterClassExA(&wc) != 0;
    }();
    (void)registered;
}

int ButtonOf(UINT message)
{
    switch (message) {
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP: return 2;
    case WM_MBUTTONDOWN:
    case WM_MBUTTONUP: return 4;
    default: return 1;
    }
}

}  // namespace

BITMAPINFO CanvasBitmapInfo(int width, int height)
{
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    return info;
}

void BlitCanvas(HDC dc, const RECT& dest, const TCanvas& canvas)
{
    if (canvas.Width() <= 0 || canvas.Height() <= 0)
        return;
    BITMAPINFO info = CanvasBitmapInfo(canvas.Width(), canvas.Height());
    const int w = dest.right - dest.left;
    const int h = dest.bottom - dest.top;
    if (w == canvas.Width() && h == canvas.Height()) {
        ::SetDIBitsToDevice(dc, dest.left, dest.top, static_cast<DWORD>(w), static_cast<DWORD>(h), 0, 0, 0,
                            static_cast<UINT>(h), canvas.Bits(), &info, DIB_RGB_COLORS);
        return;
    }
    ::SetStretchBltMode(dc, COLORONCOLOR);
    ::StretchDIBits(dc, dest.left, dest.top, w, h, 0, 0, canvas.Width(), canvas.Height(), canvas.Bits(), &info,
                    DIB_RGB_COLORS, SRCCOPY);
}

TPaintBox::~TPaintBox()
{
    if (window_ != nullptr && ::IsWindow(window_)) {
        ::SetWindowLongPtrA(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(DefWindowProcA));
        ::SetWindowLongPtrA(window_, GWLP_USERDATA, 0);
    }
}

void TPaintBox::Create(HWND parent, const char* name)
{
    RegisterOnce();
    window_ = ::CreateWindowExA(0, kPaintBoxClass, name, WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, parent, nullptr,
                                ::GetModuleHandleA(nullptr), nullptr);
    if (window_ == nullptr)
        return;
    ::SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    ::SetWindowLongPtrA(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TPaintBox::Procedure));
}

LRESULT CALLBACK TPaintBox::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* box = reinterpret_cast<TPaintBox*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
    if (box == nullptr)
        return ::DefWindowProcA(window, message, wParam, lParam);
    return box->Dispatch(message, wParam, lParam);
}

TCanvas& TPaintBox::Canvas()
{
    RECT r{};
    if (window_ != nullptr)
        ::GetClientRect(window_, &r);
    canvas_.SetSize(r.right, r.bottom, background_);
    return canvas_;
}

void TPaintBox::Paint()
{
    PAINTSTRUCT ps;
    HDC dc = ::BeginPaint(window_, &ps);
    if (OnPaint)
        OnPaint();
    TCanvas& canvas = Canvas();
    BlitCanvas(dc, RECT{0, 0, canvas.Width(), canvas.Height()}, canvas);
    ::EndPaint(window_, &ps);
}

void TPaintBox::Repaint()
{
    if (window_ == nullptr)
        return;
    ::InvalidateRect(window_, nullptr, FALSE);
    ::UpdateWindow(window_);
}

void TPaintBox::Present()
{
    if (window_ != nullptr)
        ::InvalidateRect(window_, nullptr, FALSE);
}

LRESULT TPaintBox::Dispatch(UINT message, WPARAM wParam, LPARAM lParam)
{
    const int x = GET_X_LPARAM(lParam);
    const int y = GET_Y_LPARAM(lParam);
    const auto shift = static_cast<unsigned>(wParam);
    switch (message) {
    case WM_ERASEBKGND:
        return 1;  // the blit covers every pixel
    case WM_PAINT:
        Paint();
        return 0;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        // The box keeps the mouse while a button is down, so a drag that
        // leaves it still ends here.
        ::SetCapture(window_);
        if (OnMouseDown)
            OnMouseDown(ButtonOf(message), shift, x, y);
        return 0;
    case WM_MOUSEMOVE:
        if (OnMouseMove)
            OnMouseMove(shift, x, y);
        return 0;
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP:
        if ((wParam & (MK_LBUTTON | MK_RBUTTON | MK_MBUTTON)) == 0 && ::GetCapture() == window_)
            ::ReleaseCapture();
        if (OnMouseUp)
            OnMouseUp(ButtonOf(message), shift, x, y);
        return 0;
    default:
        return ::DefWindowProcA(window_, message, wParam, lParam);
    }
}
