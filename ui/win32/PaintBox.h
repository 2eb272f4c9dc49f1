// A paint box: a child window that shows its own pixel buffer, a canvas as
// large as the box. The displays draw into Canvas() (directly, or from
// OnPaint) and the window shows the buffer in one blit. Mouse events reach
// the owner through the On* hooks, in the box's own pixels.
#pragma once

#include <windows.h>

#include <functional>

#include "Canvas.h"

class TPaintBox {
public:
    TPaintBox() = default;
    ~TPaintBox();
    TPaintBox(const TPaintBox&) = delete;
    TPaintBox& operator=(const TPaintBox&) = delete;

    // Makes the window; the class is registered once per process.
    void Create(HWND parent, const char* name);
    HWND Handle() const { return window_; }

    // Called before every blit; draws into Canvas().
    std::function<void()> OnPaint;
    // Button (1 left, 2 right, 4 middle), the shift state (MK_* flags), x, y.
    std::function<void(int button, unsigned shift, int x, int y)> OnMouseDown;
    std::function<void(unsigned shift, int x, int y)> OnMouseMove;
    std::function<void(int button, unsigned shift, int x, int y)> OnMouseUp;

    // The box's pixels, always the window's size; pixels uncovered by a
    // resize take the background colour.
    TCanvas& Canvas();
    void SetBackground(TColor color) { background_ = color; }

    // Repaints at once (not a queued update).
    void Repaint();
    // Shows what was drawn into Canvas() at the next paint (queued, merged).
    void Present();

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Dispatch(UINT message, WPARAM wParam, LPARAM lParam);
    void Paint();

    HWND window_ = nullptr;
    TCanvas canvas_;
    TColor background_ = clBlack;
};

// Puts canvas pixels (0xFFRRGGBB, top row first) into a device context at
// dest, stretched when the sizes differ.
void BlitCanvas(HDC dc, const RECT& dest, const TCanvas& canvas);
// A canvas' pixels as a device-independent bitmap: 32 bits, top row first.
BITMAPINFO CanvasBitmapInfo(int width, int height);
