#include "PaintBox.h"

#include <QMouseEvent>
#include <QPaintEvent>

TPaintBox::TPaintBox(QWidget* parent) : QWidget(parent)
{
    setMouseTracking(true);  // move events without a button held, as the hints need
}

void TPaintBox::Repaint()
{
    repaint();
}

void TPaintBox::paintEvent(QPaintEvent*)
{
    if (OnPaint)
        OnPaint();
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
