#include "Canvas.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>

TCanvas::TCanvas(int width, int height, TColor fill)
{
    SetSize(width, height, fill);
}

void TCanvas::SetSize(int width, int height, TColor fill)
{
    width = std::max(width, 0);
    height = std::max(height, 0);
    if (width == width_ && height == height_)
        return;
    std::vector<std::uint32_t> bits(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), fill);
    const int keepW = std::min(width, width_);
    const int keepH = std::min(height, height_);
    for (int y = 0; y < keepH; ++y)
        std::copy_n(bits_.begin() + static_cast<std::ptrdiff_t>(y) * width_, keepW,
                    bits.begin() + static_cast<std::ptrdiff_t>(y) * width);
    bits_.swap(bits);
    width_ = width;
    height_ = height;
}

TColor TCanvas::Pixel(int x, int y) const
{
    if (x < 0 || y < 0 || x >= width_ || y >= height_)
        return 0;
    return bits_[static_cast<std::size_t>(y) * width_ + x];
}

void TCanvas::SetPixel(int x, int y, TColor color)
{
    if (x < 0 || y < 0 || x >= width_ || y >= height_)
        return;
    bits_[static_cast<std::size_t>(y) * width_ + x] = color;
}

void TCanvas::FillRect(const TRect& rect)
{
    const int l = std::max(rect.Left, 0);
    const int t = std::max(rect.Top, 0);
    const int r = std::min(rect.Right, width_);
    const int b = std::min(rect.Bottom, height_);
    if (l >= r || t >= b)
        return;
    for (int y = t; y < b; ++y)
        std::fill(bits_.begin() + static_cast<std::ptrdiff_t>(y) * width_ + l,
                  bits_.begin() + static_cast<std::ptrdiff_t>(y) * width_ + r, Brush.Color);
}

void TCanvas::MoveTo(int x, int y)
{
    penX_ = x;
    penY_ = y;
}

void TCanvas::Plot(int x, int y, bool xMajor)
{
    const int w = std::max(Pen.Width, 1);
    if (w == 1) {
        SetPixel(x, y, Pen.Color);
        return;
    }
    // Centred across the line: width 3 covers -1..+1, width 4 covers -1..+2.
    const int from = -(w - 1) / 2;
    for (int k = from; k < from + w; ++k) {
        if (xMajor)
            SetPixel(x, y + k, Pen.Color);
        else
            SetPixel(x + k, y, Pen.Color);
    }
}

void TCanvas::LineTo(int x, int y)
{
    // Bresenham from the pen to (x, y), the end point excluded.
    const int x0 = penX_;
    const int y0 = penY_;
    const int dx = std::abs(x - x0);
    const int dy = std::abs(y - y0);
    const int sx = x > x0 ? 1 : -1;
    const int sy = y > y0 ? 1 : -1;
    const bool xMajor = dx >= dy;
    const int steps = xMajor ? dx : dy;
    int px = x0;
    int py = y0;
    int err = (xMajor ? dx : dy) / 2;
    for (int i = 0; i < steps; ++i) {
        Plot(px, py, xMajor);
        if (xMajor) {
            px += sx;
            err -= dy;
            if (err < 0) {
                py += sy;
                err += dx;
            }
        } else {
            py += sy;
            err -= dx;
            if (err < 0) {
                px += sx;
                err += dy;
            }
        }
    }
    MoveTo(x, y);
}

void TCanvas::Draw(int x, int y, const TCanvas& src)
{
    CopyRect(TRect{x, y, x + src.width_, y + src.height_}, src, TRect{0, 0, src.width_, src.height_});
}

void TCanvas::StretchDraw(const TRect& dest, const TCanvas& src)
{
    CopyRect(dest, src, TRect{0, 0, src.width_, src.height_});
}

void TCanvas::CopyRect(const TRect& dest, const TCanvas& src, const TRect& source)
{
    const int dw = dest.Width();
    const int dh = dest.Height();
    const int sw = source.Width();
    const int sh = source.Height();
    if (dw <= 0 || dh <= 0 || sw <= 0 || sh <= 0)
        return;
    const int y0 = std::max(dest.Top, 0);
    const int y1 = std::min(dest.Bottom, height_);
    const int x0 = std::max(dest.Left, 0);
    const int x1 = std::min(dest.Right, width_);
    if (x0 >= x1 || y0 >= y1)
        return;
    // Each destination pixel takes the source pixel under its centre.
    std::vector<int> column(static_cast<std::size_t>(x1 - x0));
    for (int x = x0; x < x1; ++x)
        column[x - x0] = source.Left +
                         static_cast<int>((2LL * (x - dest.Left) + 1) * sw / (2LL * dw));
    const bool self = &src == this;
    const std::vector<std::uint32_t> copy = self ? src.bits_ : std::vector<std::uint32_t>{};
    const std::uint32_t* from = self ? copy.data() : src.bits_.data();
    for (int y = y0; y < y1; ++y) {
        const int sy = source.Top + static_cast<int>((2LL * (y - dest.Top) + 1) * sh / (2LL * dh));
        if (sy < 0 || sy >= src.height_)
            continue;
        std::uint32_t* row = bits_.data() + static_cast<std::size_t>(y) * width_;
        const std::uint32_t* srow = from + static_cast<std::size_t>(sy) * src.width_;
        for (int x = x0; x < x1; ++x) {
            const int sx = column[x - x0];
            if (sx >= 0 && sx < src.width_)
                row[x] = srow[sx];
        }
    }
}
