// The paint box that shows a display's canvas, and the picture loader for
// the spectrum bars. The canvas's own drawing is checked pixel for pixel
// through the displays that use it.
#include "Canvas.h"
#include "PaintBox.h"
#include "QtWindowFixture.h"
#include "Widgets.h"

#include <QImage>

#include <fstream>
#include <vector>

namespace {

TEST(PaintBox, BlitsItsCanvasExactly)
{
    EnsureTestApplication();
    TPaintBox box;
    box.resize(20, 10);
    box.OnPaint = [&] {
        TCanvas& c = box.Canvas();
        c.Brush.Color = clBlack;
        c.FillRect(0, 0, 20, 10);
        c.Pen.Color = clLime;
        c.MoveTo(2, 3);
        c.LineTo(9, 3);
    };
    const QImage shot = box.grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(shot.size(), QSize(20, 10));
    EXPECT_EQ(shot.pixel(8, 3), QColor(0, 255, 0).rgb());
    EXPECT_EQ(shot.pixel(9, 3), QColor(0, 0, 0).rgb());  // no end point
    EXPECT_EQ(shot.pixel(2, 4), QColor(0, 0, 0).rgb());  // no smoothing
}

// The shipped picture is a bottom-up 24-bit file: its bytes are the
// pixels the spectrum bars must show. A missing picture is the lifecycle
// tests' part.
TEST(Picture, ShippedBarPictureComesOutAsItsFileSays)
{
    const std::string path = VX_SOURCE_DIR "/Source-Images/Glyphs/AudioLevel.bmp";
    std::ifstream in(path, std::ios::binary);
    const std::vector<unsigned char> f{std::istreambuf_iterator<char>(in), {}};
    ASSERT_GT(f.size(), 54u);
    const int w = f[18] | f[19] << 8;
    const int h = f[22] | f[23] << 8;
    const int offset = f[10] | f[11] << 8;
    ASSERT_EQ(f[28], 24);
    TCanvas canvas;
    ASSERT_TRUE(LoadPictureFile(QString::fromStdString(path), canvas));
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
