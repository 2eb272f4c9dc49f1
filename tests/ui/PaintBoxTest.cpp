// The paint box shows its canvas pixel for pixel, and keeps it sized.
#include "PaintBox.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QMouseEvent>

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

}  // namespace
