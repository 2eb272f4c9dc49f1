// The canvas the displays draw on, the paint box that shows it, and the
// picture loader for the spectrum bars.
#include "Canvas.h"
#include "PaintBox.h"
#include "WindowFixture.h"
#include "WindowWidgets.h"

#include <QImage>
#include <QMouseEvent>

#include <fstream>
#include <vector>

namespace {

struct Px {
    int x, y;
    TColor color;
};

void ExpectPixels(const TCanvas& c, const std::vector<Px>& pixels)
{
    for (const Px& p : pixels)
        EXPECT_EQ(c.Pixel(p.x, p.y), p.color) << p.x << "," << p.y;
}

TEST(Canvas, FillsAndLinesCoverExactlyTheirPixels)
{
    constexpr TColor W = clWhite, K = clBlack;
    const struct {
        const char* what;
        std::function<void(TCanvas&)> draw;
        int count;  // white pixels afterwards
        std::vector<Px> pixels;
    } cases[] = {
        {"fill: left and top in, right and bottom out", [](TCanvas& c) { c.FillRect(2, 3, 5, 7); }, 12,
         {{2, 3, W}, {4, 6, W}, {5, 6, K}, {4, 7, K}, {1, 3, K}}},
        {"fill clipped at the edges", [](TCanvas& c) { c.FillRect(-5, -5, 100, 1); }, 10, {{9, 0, W}}},
        {"inverted fill", [](TCanvas& c) { c.FillRect(6, 6, 4, 8); }, 0, {}},
        {"two segments: the second draws the first's end point",
         [](TCanvas& c) { c.MoveTo(1, 2); c.LineTo(5, 2); c.LineTo(5, 6); }, 8,
         {{1, 2, W}, {4, 2, W}, {5, 2, W}, {5, 5, W}, {5, 6, K}}},
        {"line to the pen's own position", [](TCanvas& c) { c.MoveTo(5, 6); c.LineTo(5, 6); }, 0, {}},
        {"diagonal", [](TCanvas& c) { c.MoveTo(0, 0); c.LineTo(4, 4); }, 4, {{3, 3, W}, {4, 4, K}}},
        {"steep, up and left", [](TCanvas& c) { c.MoveTo(3, 9); c.LineTo(2, 0); }, 9, {{3, 9, W}, {2, 0, K}}},
        {"wide pen centred across the line",
         [](TCanvas& c) { c.Pen.Width = 3; c.MoveTo(2, 5); c.LineTo(7, 5); }, 15,
         {{2, 4, W}, {6, 6, W}, {7, 5, K}, {2, 7, K}}},
        {"wide vertical pen clipped at the edge",
         [](TCanvas& c) { c.Pen.Width = 3; c.MoveTo(0, 0); c.LineTo(0, 3); }, 6, {{1, 2, W}}},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.what);
        TCanvas c(10, 10, clBlack);
        c.Brush.Color = W;
        c.Pen.Color = W;
        row.draw(c);
        int count = 0;
        for (int y = 0; y < 10; ++y)
            for (int x = 0; x < 10; ++x)
                count += c.Pixel(x, y) == W;
        EXPECT_EQ(count, row.count);
        ExpectPixels(c, row.pixels);
    }
}

TEST(Canvas, StretchCopyAndResizeMapByPixelCentres)
{
    TCanvas src(2, 1);
    src.SetPixel(0, 0, clRed);
    src.SetPixel(1, 0, clBlue);
    TCanvas c(8, 3, clBlack);
    c.StretchDraw(TRect{1, 1, 7, 3}, src);
    ExpectPixels(c, {{0, 1, clBlack}, {1, 1, clRed}, {3, 2, clRed}, {4, 2, clBlue}, {6, 1, clBlue},
                     {7, 1, clBlack}, {3, 0, clBlack}});

    // Shrinking 7 columns into 3 takes columns 1, 3 and 5.
    TCanvas wide(7, 2);
    for (int x = 0; x < 7; ++x)
        for (int y = 0; y < 2; ++y)
            wide.SetPixel(x, y, RGBColor(x * 10, y * 10, 0));
    TCanvas small(3, 1, clBlack);
    small.CopyRect(TRect{0, 0, 3, 1}, wide, TRect{0, 1, 7, 2});
    ExpectPixels(small, {{0, 0, RGBColor(10, 10, 0)}, {1, 0, RGBColor(30, 10, 0)}, {2, 0, RGBColor(50, 10, 0)}});
    // Partly outside the target or the source: only the overlap changes.
    TCanvas t(4, 4, clBlack);
    t.Draw(3, -1, wide);
    ExpectPixels(t, {{3, 0, RGBColor(0, 10, 0)}, {2, 0, clBlack}});
    TCanvas u(2, 2, clWhite);
    u.CopyRect(TRect{0, 0, 2, 2}, src, TRect{0, -1, 2, 1});
    ExpectPixels(u, {{0, 0, clWhite}, {0, 1, clRed}});

    TCanvas r(3, 3, clRed);
    r.SetSize(5, 2, clBlack);
    ExpectPixels(r, {{2, 1, clRed}, {3, 1, clBlack}, {0, 2, 0u}});
    r.SetSize(-1, 4);
    EXPECT_EQ(r.Width(), 0);
    r.FillRect(0, 0, 5, 5);  // nothing to draw, no crash
}

TEST(PaintBox, BlitsItsCanvasExactlyAndPassesTheMouseOn)
{
    EnsureTestApplication();
    TPaintBox box;
    box.resize(20, 10);
    int painted = 0;
    box.OnPaint = [&] {
        ++painted;
        TCanvas& c = box.Canvas();
        c.Brush.Color = clBlack;
        c.FillRect(0, 0, 20, 10);
        c.Pen.Color = clLime;
        c.MoveTo(2, 3);
        c.LineTo(9, 3);
    };
    const QImage shot = box.grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_GE(painted, 1);
    ASSERT_EQ(shot.size(), QSize(20, 10));
    EXPECT_EQ(shot.pixel(8, 3), QColor(0, 255, 0).rgb());
    EXPECT_EQ(shot.pixel(9, 3), QColor(0, 0, 0).rgb());  // no end point
    EXPECT_EQ(shot.pixel(2, 4), QColor(0, 0, 0).rgb());  // no smoothing

    box.OnPaint = nullptr;
    box.resize(30, 12);
    EXPECT_EQ(box.Canvas().Width(), 30);
    EXPECT_EQ(box.Canvas().Pixel(25, 11), clBlack);  // new area: background
    EXPECT_EQ(box.Canvas().Pixel(5, 3), clLime);     // kept

    int downX = -1, moveY = -1, upX = -1;
    box.OnMouseDown = [&](Qt::MouseButton, Qt::KeyboardModifiers, int x, int) { downX = x; };
    box.OnMouseMove = [&](Qt::KeyboardModifiers, int, int y) { moveY = y; };
    box.OnMouseUp = [&](Qt::MouseButton, Qt::KeyboardModifiers, int x, int) { upX = x; };
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(7, 8), QPointF(7, 8), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(&box, &press);
    QMouseEvent move(QEvent::MouseMove, QPointF(7, 9), QPointF(7, 9), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&box, &move);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(11, 9), QPointF(11, 9), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(&box, &release);
    EXPECT_EQ(downX, 7);
    EXPECT_EQ(moveY, 9);
    EXPECT_EQ(upX, 11);
}

TColor Colour(int i)
{
    return RGBColor(i * 16, 255 - i * 16, 200);
}

// A w x h BMP whose pixel (x, file row r) is Colour((x + r) % 16): 4 and 8
// bits through a palette, 24 and 32 direct.
std::vector<char> Bmp(int w, int h, int bpp, bool topDown)
{
    const int colours = bpp <= 8 ? 1 << bpp : 0;
    const int offset = 54 + 4 * colours;
    const int stride = ((w * bpp + 31) / 32) * 4;
    std::vector<unsigned char> f(static_cast<std::size_t>(offset + stride * h), 0);
    auto put32 = [&](int at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            f[at + i] = static_cast<unsigned char>(v >> (8 * i));
    };
    f[0] = 'B';
    f[1] = 'M';
    put32(2, static_cast<std::uint32_t>(f.size()));
    put32(10, static_cast<std::uint32_t>(offset));
    put32(14, 40);
    put32(18, static_cast<std::uint32_t>(w));
    put32(22, static_cast<std::uint32_t>(topDown ? -h : h));
    f[26] = 1;
    f[28] = static_cast<unsigned char>(bpp);
    put32(46, static_cast<std::uint32_t>(colours));
    for (int i = 0; i < colours; ++i)
        put32(54 + 4 * i, Colour(i % 16) & 0xFFFFFF);
    for (int r = 0; r < h; ++r)
        for (int x = 0; x < w; ++x) {
            const int index = (x + r) % 16;
            unsigned char* row = &f[static_cast<std::size_t>(offset + r * stride)];
            if (bpp == 4)
                row[x / 2] |= static_cast<unsigned char>(x % 2 == 0 ? index << 4 : index);
            else if (bpp == 8)
                row[x] = static_cast<unsigned char>(index);
            else
                for (int b = 0; b < 3; ++b)
                    row[x * (bpp / 8) + b] = static_cast<unsigned char>(Colour(index) >> (8 * b));
        }
    return {f.begin(), f.end()};
}

// The shipped picture is a bottom-up 24-bit file; the other depths are
// what a replaced picture may come in.
TEST(Picture, LoadsEveryBmpDepthPixelForPixel)
{
    const std::string path = testing::TempDir() + "vx_picture_test.bmp";
    const struct {
        int bpp;
        bool topDown;
    } cases[] = {{4, false}, {8, false}, {24, false}, {24, true}, {32, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bpp);
        const std::vector<char> file = Bmp(7, 5, c.bpp, c.topDown);
        std::ofstream(path, std::ios::binary).write(file.data(), static_cast<std::streamsize>(file.size()));
        TCanvas canvas;
        ASSERT_TRUE(LoadPictureFile(QString::fromStdString(path), canvas));
        ASSERT_EQ(canvas.Width(), 7);
        ASSERT_EQ(canvas.Height(), 5);
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 7; ++x)
                EXPECT_EQ(canvas.Pixel(x, y), Colour((x + (c.topDown ? y : 4 - y)) % 16)) << x << "," << y;
    }
    // Missing and foreign files fail and leave the canvas as it was.
    TCanvas canvas(2, 2, clRed);
    EXPECT_FALSE(LoadPictureFile(QString::fromStdString(path + ".missing"), canvas));
    std::ofstream(path, std::ios::binary) << "BM not a picture";
    EXPECT_FALSE(LoadPictureFile(QString::fromStdString(path), canvas));
    EXPECT_EQ(canvas.Width(), 2);
    EXPECT_EQ(canvas.Pixel(1, 1), clRed);
}

}  // namespace
