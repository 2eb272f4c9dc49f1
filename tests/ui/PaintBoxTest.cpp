// The paint box shows its canvas pixel for pixel, and keeps it sized;
// pictures load in every BMP depth.
#include "PaintBox.h"
#include "WindowWidgets.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QMouseEvent>

#include <fstream>
#include <vector>

namespace {

// Created once and never destroyed: Qt's teardown at exit, after the
// test framework's, crashes.
QApplication& App()
{
    static int argc = 1;
    static char name[] = "vx_ui_paintbox_test";
    static char* argv[] = {name, nullptr};
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

TEST(PaintBox, BlitsItsCanvasExactly)
{
    App();
    TPaintBox box;
    box.resize(20, 10);
    EXPECT_EQ(box.Canvas().Width(), 20);
    EXPECT_EQ(box.Canvas().Height(), 10);
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
    ASSERT_EQ(shot.width(), 20);
    EXPECT_EQ(shot.pixel(2, 3), QColor(0, 255, 0).rgb());
    EXPECT_EQ(shot.pixel(8, 3), QColor(0, 255, 0).rgb());
    EXPECT_EQ(shot.pixel(9, 3), QColor(0, 0, 0).rgb());  // no end point
    EXPECT_EQ(shot.pixel(2, 4), QColor(0, 0, 0).rgb());  // no smoothing

    box.OnPaint = nullptr;
    box.resize(30, 12);
    EXPECT_EQ(box.Canvas().Width(), 30);
    EXPECT_EQ(box.Canvas().Pixel(25, 11), clBlack);  // new area: background
    EXPECT_EQ(box.Canvas().Pixel(5, 3), clLime);     // kept
}

TEST(PaintBox, MouseHooksGetBoxCoordinates)
{
    App();
    TPaintBox box;
    box.resize(50, 50);
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

// A w x h BMP whose pixel (x, file row r) is Colour((x + r) % 16), in
// the given depth: 4 and 8 bits through a palette, 24 and 32 direct.
TColor Colour(int i)
{
    return RGBColor(i * 16, 255 - i * 16, 200);
}

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

TEST(Picture, ShippedBarPictureComesOutAsItsFileSays)
{
    // The shipped picture is a bottom-up 24-bit file: its bytes are the
    // pixels the spectrum bars must show.
    const QString path = QStringLiteral(VX_SOURCE_DIR "/Source-Images/Glyphs/AudioLevel.bmp");
    std::ifstream in(path.toStdString(), std::ios::binary);
    const std::vector<unsigned char> f{std::istreambuf_iterator<char>(in), {}};
    ASSERT_GT(f.size(), 54u);
    const int w = f[18] | f[19] << 8;
    const int h = f[22] | f[23] << 8;
    const int offset = f[10] | f[11] << 8;
    ASSERT_EQ(f[28], 24);
    TCanvas canvas;
    ASSERT_TRUE(LoadPictureFile(path, canvas));
    ASSERT_EQ(canvas.Width(), w);
    ASSERT_EQ(canvas.Height(), h);
    const int stride = ((w * 24 + 31) / 32) * 4;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const unsigned char* p = &f[static_cast<std::size_t>(offset + (h - 1 - y) * stride + 3 * x)];
            EXPECT_EQ(canvas.Pixel(x, y), RGBColor(p[2], p[1], p[0])) << x << "," << y;
        }
}

}  // namespace
