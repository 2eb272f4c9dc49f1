#include "PaintBox.h"

#include <QImage>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>

TPaintBox::TPaintBox(QWidget* parent) : QWidget(parent)
{
    setMouseTracking(true);  // move events without a button held, as the hints need
    // The buffer covers every pixel: no background erase, no flicker.
    setAttribute(Qt::WA_OpaquePaintEvent);
    canvas_.SetSize(width(), height(), background_);
}

TCanvas& TPaintBox::Canvas()
{
    // A hidden widget gets its resize event only when shown; follow the
    // size at once so the displays always see the box's own size.
    canvas_.SetSize(width(), height(), background_);
    return canvas_;
}

void TPaintBox::Repaint()
{
    repaint();
}

void TPaintBox::Present()
{
    update();
}

void TPaintBox::resizeEvent(QResizeEvent* event)
{
    canvas_.SetSize(event->size().width(), event->size().height(), background_);
    QWidget::resizeEvent(event);
}

void TPaintBox::paintEvent(QPaintEvent*)
{
    if (OnPaint)
        OnPaint();
    Canvas();
    if (canvas_.Width() == 0 || canvas_.Height() == 0)
        return;
    // A view over the buffer, no copy; the pixel layout is Format_RGB32's.
    const QImage image(reinterpret_cast<const uchar*>(canvas_.Bits()), canvas_.Width(), canvas_.Height(),
                       canvas_.BytesPerLine(), QImage::Format_RGB32);
    QPainter painter(this);
    painter.drawImage(0, 0, image);
}

void TPaintBox::mousePressEvent(QMouseEvent* event)
{
    const QPoint p = event->position().toPoint();
    if (OnMouseDown)
        OnMouseDown(event->button(), event->modifiers(), p.x(), p.y());
}

void TPaintBox::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint p = event->position().toPoint();
    if (OnMouseMove)
        OnMouseMove(event->modifiers(), p.x(), p.y());
}

void TPaintBox::mouseReleaseEvent(QMouseEvent* event)
{
    const QPoint p = event->position().toPoint();
    if (OnMouseUp)
        OnMouseUp(event->button(), event->modifiers(), p.x(), p.y());
}
