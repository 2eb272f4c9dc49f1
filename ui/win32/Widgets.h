// Small parts of the main window that Win32 has no control for: a splitter
// strip dragged as a line and asked before it moves, the menu's image list
// and the bar picture's loader.
#pragma once

#include <windows.h>

#include <array>
#include <functional>
#include <string>

#include "Canvas.h"

// A splitter: a strip of the parent's client area between two areas. A
// drag shows a line as thick as the strip where the strip would go; the
// move happens on release. OnCanResize gets the size the far area (right
// or below) would have and refuses by returning false: the line then stays
// where it was. OnMoved gets the accepted far size.
class TSplitter {
public:
    explicit TSplitter(bool vertical) : vertical_(vertical) {}
    // Vertical strip (moves left and right) or horizontal (up and down).
    bool Vertical() const { return vertical_; }
    RECT Strip{};   // the strip, empty while its panel is hidden
    RECT Bounds{};  // the two areas and the strip together
    TColor Color = clBtnFace;
    std::function<bool(int newFarSize)> OnCanResize;
    std::function<void(int newFarSize)> OnMoved;

    bool Dragging() const { return dragging_; }
    void Begin(HWND parent, POINT p);
    void Move(POINT p);
    void End(POINT p);
    void Cancel();

private:
    int Along(POINT p) const { return vertical_ ? p.x : p.y; }
    int Thickness() const;
    void ToggleLine();
    bool vertical_;
    bool dragging_ = false;
    HWND parent_ = nullptr;
    int grab_ = 0;  // where in the strip the press was
    int line_ = 0;  // the line's near edge
};

// ImageList1: 25 images of 16 by 16; those the program does not use are
// plain silver. Silver is the background and drawn transparent.
class TImageList {
public:
    static constexpr int kCount = 25;
    static constexpr int kSize = 16;
    static constexpr int kWindowImage = 12;
    static constexpr int kCloseGlyph = -1;
    // The image's pixels, silver background included.
    static TCanvas Image(int index);
    // A 32-bit bitmap of the image at size x size pixels (scaled by
    // whole pixels), the background transparent: for menus and buttons.
    static HBITMAP Bitmap(int index, int size);
    // An icon of the image at size x size pixels, silver transparent
    // through both its mask and its alpha.
    static HICON Icon(int index, int size);
};

// Reads a bitmap file into canvas, sized to the picture. False, with the
// canvas untouched, when the file cannot be read.
bool LoadPictureFile(const std::string& path, TCanvas& canvas);
