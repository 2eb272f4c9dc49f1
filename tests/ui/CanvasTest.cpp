#include "Canvas.h"

#include <gtest/gtest.h>


namespace {

int CountColor(const TCanvas& c, TColor color)
{
    int n = 0;
    for (int y = 0; y < c.Height(); ++y)
        for (int x = 0; x < c.Width(); ++x)
            n += c.Pixel(x, y) == color;
    return n;
}

TEST(Canvas, FillRectCoversLeftTopButNotRightBottom)
{
    TCanvas c(10, 10, clBlack);
    c.Brush.Color = clRed;
    c.FillRect(2, 3, 5, 7);
    EXPECT_EQ(c.Pixel(2, 3), clRed);
    EXPECT_EQ(c.Pixel(4, 6), clRed);
    EXPECT_EQ(c.Pixel(5, 6), clBlack);
    EXPECT_EQ(c.Pixel(4, 7), clBlack);
    EXPECT_EQ(c.Pixel(1, 3), clBlack);
    EXPECT_EQ(CountColor(c, clRed), 3 * 4);
    // Clipped at the edges; inverted rectangles draw nothing.
    c.FillRect(-5, -5, 100, 1);
    EXPECT_EQ(CountColor(c, clRed), 12 + 10);
    c.Brush.Color = clBlue;
    c.FillRect(6, 6, 4, 8);
    EXPECT_EQ(CountColor(c, clBlue), 0);
}

TEST(Canvas, LineOmitsItsEndPointAndLeavesThePenThere)
{
    TCanvas c(10, 10, clBlack);
    c.Pen.Color = clLime;
    c.MoveTo(1, 2);
    c.LineTo(5, 2);
    EXPECT_EQ(c.PenX(), 5);
    EXPECT_EQ(c.PenY(), 2);
    for (int x = 1; x < 5; ++x)
        EXPECT_EQ(c.Pixel(x, 2), clLime) << x;
    EXPECT_EQ(c.Pixel(5, 2), clBlack);
    // The next segment starts at the old end point, which it draws.
    c.Pen.Color = clRed;
    c.LineTo(5, 6);
    EXPECT_EQ(c.Pixel(5, 2), clRed);
    EXPECT_EQ(c.Pixel(5, 5), clRed);
    EXPECT_EQ(c.Pixel(5, 6), clBlack);
    // A line to the pen's own position draws nothing.
    c.Pen.Color = clBlue;
    c.LineTo(5, 6);
    EXPECT_EQ(CountColor(c, clBlue), 0);
    // Diagonal: one pixel per step, from the start, without the end.
    TCanvas d(10, 10, clBlack);
    d.Pen.Color = clWhite;
    d.MoveTo(0, 0);
    d.LineTo(4, 4);
    EXPECT_EQ(CountColor(d, clWhite), 4);
    EXPECT_EQ(d.Pixel(3, 3), clWhite);
    EXPECT_EQ(d.Pixel(4, 4), clBlack);
    // Steep line going up and left: every row once.
    TCanvas s(10, 10, clBlack);
    s.Pen.Color = clWhite;
    s.MoveTo(3, 9);
    s.LineTo(2, 0);
    EXPECT_EQ(CountColor(s, clWhite), 9);
    EXPECT_EQ(s.Pixel(3, 9), clWhite);
    EXPECT_EQ(s.Pixel(2, 0), clBlack);
}

TEST(Canvas, WidePenIsCentredAcrossTheLine)
{
    TCanvas c(12, 12, clBlack);
    c.Pen.Color = clYellow;
    c.Pen.Width = 3;
    c.MoveTo(2, 5);
    c.LineTo(7, 5);
    for (int x = 2; x < 7; ++x)
        for (int y = 4; y <= 6; ++y)
            EXPECT_EQ(c.Pixel(x, y), clYellow) << x << "," << y;
    EXPECT_EQ(CountColor(c, clYellow), 5 * 3);
    EXPECT_EQ(c.Pixel(7, 5), clBlack);
    // Vertical: widened to the sides; clipped at the top edge.
    TCanvas v(12, 12, clBlack);
    v.Pen.Color = clYellow;
    v.Pen.Width = 3;
    v.MoveTo(0, 0);
    v.LineTo(0, 3);
    EXPECT_EQ(CountColor(v, clYellow), 3 * 2);
    EXPECT_EQ(v.Pixel(1, 2), clYellow);
}

TEST(Canvas, StretchAndCopyMapByPixelCentres)
{
    // 2x1 source: red, blue.
    TCanvas src(2, 1);
    src.SetPixel(0, 0, clRed);
    src.SetPixel(1, 0, clBlue);
    TCanvas c(8, 3, clBlack);
    c.StretchDraw(TRect{1, 1, 7, 3}, src);
    EXPECT_EQ(c.Pixel(0, 1), clBlack);
    EXPECT_EQ(c.Pixel(1, 1), clRed);
    EXPECT_EQ(c.Pixel(3, 2), clRed);
    EXPECT_EQ(c.Pixel(4, 2), clBlue);
    EXPECT_EQ(c.Pixel(6, 1), clBlue);
    EXPECT_EQ(c.Pixel(7, 1), clBlack);
    EXPECT_EQ(c.Pixel(3, 0), clBlack);

    // Shrinking 7 columns into 3 takes columns 1, 3 and 5.
    TCanvas wide(7, 2);
    for (int x = 0; x < 7; ++x)
        for (int y = 0; y < 2; ++y)
            wide.SetPixel(x, y, RGBColor(x * 10, y * 10, 0));
    TCanvas small(3, 1, clBlack);
    small.CopyRect(TRect{0, 0, 3, 1}, wide, TRect{0, 1, 7, 2});
    EXPECT_EQ(small.Pixel(0, 0), RGBColor(10, 10, 0));
    EXPECT_EQ(small.Pixel(1, 0), RGBColor(30, 10, 0));
    EXPECT_EQ(small.Pixel(2, 0), RGBColor(50, 10, 0));

    // Draw at own size, partly outside the target.
    TCanvas t(4, 4, clBlack);
    t.Draw(3, -1, wide);
    EXPECT_EQ(t.Pixel(3, 0), RGBColor(0, 10, 0));
    EXPECT_EQ(t.Pixel(2, 0), clBlack);
    // Source rows outside the source leave the destination alone.
    TCanvas u(2, 2, clWhite);
    u.CopyRect(TRect{0, 0, 2, 2}, src, TRect{0, -1, 2, 1});
    EXPECT_EQ(u.Pixel(0, 0), clWhite);
    EXPECT_EQ(u.Pixel(0, 1), clRed);
}

TEST(Canvas, ResizeKeepsPixelsAndIgnoresSameSize)
{
    TCanvas c(3, 3, clRed);
    c.SetSize(5, 2, clBlack);
    EXPECT_EQ(c.Pixel(2, 1), clRed);
    EXPECT_EQ(c.Pixel(3, 1), clBlack);
    EXPECT_EQ(c.Pixel(0, 2), 0u);  // outside
    c.SetSize(-1, 4);
    EXPECT_EQ(c.Width(), 0);
    c.FillRect(0, 0, 5, 5);  // nothing to draw, no crash
}

}  // namespace
