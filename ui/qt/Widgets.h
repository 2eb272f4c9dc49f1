// Small widgets of the main window that Qt has no exact match for: a
// splitter dragged as a thin line and asked before it moves, the status
// bar with its owner-drawn lights at the left edge, and a text panel that
// never widens the window. Also the bar picture's loader.
#pragma once

#include <QLabel>
#include <QSplitter>
#include <QSplitterHandle>
#include <QStatusBar>

#include <functional>

#include "Canvas.h"

// A splitter of two widgets. Its handle is painted in HandleColor and
// dragged as a line as thick as the handle; on release the splitter moves
// to the line. OnCanResize gets the size the second widget would have and
// refuses the move by returning false: the line then stays where it was.
class TSplitter : public QSplitter {
    Q_OBJECT
public:
    TSplitter(Qt::Orientation orientation, QWidget* parent);
    std::function<bool(int newSecondSize)> OnCanResize;
    QColor HandleColor = Qt::gray;
    // The line shown while dragging (null when no drag has started yet).
    QWidget* DragLine() const { return dragLine_; }

protected:
    QSplitterHandle* createHandle() override;

private:
    friend class TSplitterHandle;
    QWidget* dragLine_ = nullptr;
};

class TSplitterHandle : public QSplitterHandle {
    Q_OBJECT
public:
    TSplitterHandle(Qt::Orientation orientation, TSplitter* parent);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    int Along(const QPoint& p) const;
    void PlaceLine();
    TSplitter* splitter_;
    bool dragging_ = false;
    int grab_ = 0;  // where in the handle the press was
    int linePos_ = 0;
};

// The status bar's text panel: the full text stays text(), what does not
// fit is elided, and neither the text nor its length reaches the window's
// minimum size.
class TStatusText : public QLabel {
    Q_OBJECT
public:
    explicit TStatusText(QWidget* parent);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
};

// The status bar with two owner-drawn panels of LightsWidth pixels each at
// its left edge, full height, and the text panel in the rest.
class TStatusBar : public QStatusBar {
    Q_OBJECT
public:
    explicit TStatusBar(QWidget* parent);
    void SetPanels(QWidget* lights, QWidget* text, int lightsWidth);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void Place();
    QWidget* lights_ = nullptr;
    QWidget* text_ = nullptr;
    int lightsWidth_ = 0;
};

// Reads a picture file with the platform's image reader into canvas, sized
// to the picture. False, with the canvas untouched, when the file cannot be
// read; the caller reports "Cannot open file <path>".
bool LoadPictureFile(const QString& path, TCanvas& canvas);
