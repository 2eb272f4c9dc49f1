// A paint box: a plain widget that shows its own pixel buffer, a canvas as
// large as the box. The displays draw into Canvas() (directly, or from
// OnPaint) and the widget shows the buffer in one blit; Qt's painter never
// draws the content. Mouse events reach the owner through the On* hooks,
// with the toolkit's mouse coordinates (pixels relative to the box).
#pragma once

#include <QWidget>

#include <functional>

#include "Canvas.h"

class TPaintBox : public QWidget {
    Q_OBJECT
public:
    explicit TPaintBox(QWidget* parent = nullptr);

    // Called before every blit; draws into Canvas().
    std::function<void()> OnPaint;
    std::function<void(Qt::MouseButton, Qt::KeyboardModifiers, int x, int y)> OnMouseDown;
    std::function<void(Qt::KeyboardModifiers, int x, int y)> OnMouseMove;
    std::function<void(Qt::MouseButton, Qt::KeyboardModifiers, int x, int y)> OnMouseUp;

    // The box's pixels, always the widget's size; pixels uncovered by a
    // resize take the background colour.
    TCanvas& Canvas();
    void SetBackground(TColor color) { background_ = color; }

    // Repaints at once (the toolkit's Repaint, not a queued update).
    void Repaint();
    // Shows what was drawn into Canvas() at the next paint (queued, merged).
    void Present();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    TCanvas canvas_;
    TColor background_ = clBlack;
};
