// A small raster canvas over a 32-bit pixel buffer (0xFFRRGGBB, the layout
// of a 32-bit RGB image), with the drawing rules the displays are
// specified in:
//  - FillRect(l, t, r, b) covers l <= x < r and t <= y < b;
//  - LineTo draws from the pen position to the point without the point
//    itself and leaves the pen there; MoveTo only moves the pen;
//  - a pen wider than one pixel is centred on the thin line: every pixel of
//    the thin line grows into a run of Width pixels across the line's major
//    direction (a horizontal line of width 3 covers the rows y-1..y+1);
//  - Draw puts a canvas at its own size, StretchDraw and CopyRect map a
//    rectangle onto another by nearest pixel centres.
// Everything is clipped to the canvas; empty or inverted rectangles draw
// nothing.
#pragma once

#include <cstdint>
#include <vector>

using TColor = std::uint32_t;

constexpr TColor RGBColor(int r, int g, int b)
{
    return 0xFF000000u | (static_cast<TColor>(r & 0xFF) << 16) | (static_cast<TColor>(g & 0xFF) << 8) |
           static_cast<TColor>(b & 0xFF);
}

inline constexpr TColor clBlack = RGBColor(0, 0, 0);
inline constexpr TColor clWhite = RGBColor(255, 255, 255);
inline constexpr TColor clLime = RGBColor(0, 255, 0);
inline constexpr TColor clYellow = RGBColor(255, 255, 0);
inline constexpr TColor clRed = RGBColor(255, 0, 0);
inline constexpr TColor clBlue = RGBColor(0, 0, 255);
inline constexpr TColor clTeal = RGBColor(0, 128, 128);
// The button-face colour of the light theme the window uses.
inline constexpr TColor clBtnFace = RGBColor(240, 240, 240);

struct TRect {
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;
    int Width() const { return Right - Left; }
    int Height() const { return Bottom - Top; }
};

struct TPen {
    TColor Color = clBlack;
    int Width = 1;
};

struct TBrush {
    TColor Color = clWhite;
};

class TCanvas {
public:
    TCanvas() = default;
    TCanvas(int width, int height, TColor fill = clWhite);

    int Width() const { return width_; }
    int Height() const { return height_; }
    // Resizing keeps the pixels that stay inside and fills new ones with
    // fill. Negative sizes count as 0. Same size: nothing happens.
    void SetSize(int width, int height, TColor fill = clWhite);
    void SetWidth(int width) { SetSize(width, height_); }
    void SetHeight(int height) { SetSize(width_, height); }

    TPen Pen;
    TBrush Brush;

    void FillRect(const TRect& rect);
    void FillRect(int left, int top, int right, int bottom) { FillRect(TRect{left, top, right, bottom}); }
    void MoveTo(int x, int y);
    void LineTo(int x, int y);
    int PenX() const { return penX_; }
    int PenY() const { return penY_; }

    // src at (x, y) at its own size.
    void Draw(int x, int y, const TCanvas& src);
    // The whole of src stretched into dest.
    void StretchDraw(const TRect& dest, const TCanvas& src);
    // The rectangle source of src stretched into dest.
    void CopyRect(const TRect& dest, const TCanvas& src, const TRect& source);

    // Outside the canvas: Pixel gives 0, SetPixel does nothing.
    TColor Pixel(int x, int y) const;
    void SetPixel(int x, int y, TColor color);

    const std::uint32_t* Bits() const { return bits_.data(); }
    std::uint32_t* Bits() { return bits_.data(); }
    int BytesPerLine() const { return width_ * 4; }

private:
    void Plot(int x, int y, bool xMajor);

    int width_ = 0;
    int height_ = 0;
    int penX_ = 0;
    int penY_ = 0;
    std::vector<std::uint32_t> bits_;
};
