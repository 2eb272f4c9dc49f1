#include "Widgets.h"

#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QResizeEvent>

#include <algorithm>

// ---- splitter ------------------------------------------------------------------

TSplitter::TSplitter(Qt::Orientation orientation, QWidget* parent) : QSplitter(orientation, parent)
{
    setOpaqueResize(false);
}

QSplitterHandle* TSplitter::createHandle()
{
    return new TSplitterHandle(orientation(), this);
}

TSplitterHandle::TSplitterHandle(Qt::Orientation orientation, TSplitter* parent)
    : QSplitterHandle(orientation, parent), splitter_(parent)
{
}

void TSplitterHandle::paintEvent(QPaintEvent*)
{
    QPainter(this).fillRect(rect(), splitter_->HandleColor);
}

int TSplitterHandle::Along(const QPoint& p) const
{
    return orientation() == Qt::Horizontal ? p.x() : p.y();
}

void TSplitterHandle::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    dragging_ = true;
    // A thin handle is given a wider grab area than it draws; the splitter's
    // position is where the first widget ends.
    const QRect first = splitter_->widget(0)->geometry();
    linePos_ = orientation() == Qt::Horizontal ? first.right() + 1 : first.bottom() + 1;
    grab_ = Along(mapToParent(event->position().toPoint())) - linePos_;
    if (splitter_->dragLine_ == nullptr) {
        auto* line = new QWidget(splitter_);
        line->setAttribute(Qt::WA_TransparentForMouseEvents);
        line->setAutoFillBackground(true);
        QPalette pal = line->palette();
        pal.setColor(QPalette::Window, QColor(128, 128, 128));
        line->setPalette(pal);
        splitter_->dragLine_ = line;
    }
    PlaceLine();
    splitter_->dragLine_->raise();
    splitter_->dragLine_->show();
}

void TSplitterHandle::mouseMoveEvent(QMouseEvent* event)
{
    if (!dragging_)
        return;
    const int total = Along(QPoint(splitter_->width(), splitter_->height()));
    const int thickness = splitter_->handleWidth();
    const int wanted = std::clamp(Along(mapToParent(event->position().toPoint())) - grab_, 0,
                                  std::max(0, total - thickness));
    // A refused position leaves the line where it was.
    if (splitter_->OnCanResize && !splitter_->OnCanResize(total - wanted - thickness))
        return;
    linePos_ = wanted;
    PlaceLine();
}

void TSplitterHandle::mouseReleaseEvent(QMouseEvent* event)
{
    if (!dragging_ || event->button() != Qt::LeftButton)
        return;
    dragging_ = false;
    splitter_->dragLine_->hide();
    moveSplitter(linePos_);
}

void TSplitterHandle::PlaceLine()
{
    const int thickness = splitter_->handleWidth();
    if (orientation() == Qt::Horizontal)
        splitter_->dragLine_->setGeometry(linePos_, 0, thickness, splitter_->height());
    else
        splitter_->dragLine_->setGeometry(0, linePos_, splitter_->width(), thickness);
}

// ---- status bar -----------------------------------------------------------------

TStatusText::TStatusText(QWidget* parent) : QLabel(parent)
{
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
}

QSize TStatusText::sizeHint() const
{
    return {0, QLabel::sizeHint().height()};
}

QSize TStatusText::minimumSizeHint() const
{
    return {0, 0};
}

void TStatusText::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QRect area = contentsRect().adjusted(indent() < 0 ? 2 : indent(), 0, 0, 0);
    const QString shown = fontMetrics().elidedText(text(), Qt::ElideRight, area.width());
    painter.setPen(palette().color(foregroundRole()));
    painter.drawText(area, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, shown);
}

TStatusBar::TStatusBar(QWidget* parent) : QStatusBar(parent)
{
    setSizeGripEnabled(false);
}

void TStatusBar::SetPanels(QWidget* lights, QWidget* text, int lightsWidth)
{
    lights_ = lights;
    text_ = text;
    lightsWidth_ = lightsWidth;
    Place();
}

void TStatusBar::resizeEvent(QResizeEvent* event)
{
    QStatusBar::resizeEvent(event);
    Place();
}

// Placed by hand, not through the bar's own layout: that one indents its
// items and would leave the lights off their mouse zones.
void TStatusBar::Place()
{
    if (lights_ != nullptr)
        lights_->setGeometry(0, 0, lightsWidth_, height());
    if (text_ != nullptr)
        text_->setGeometry(lightsWidth_, 0, std::max(0, width() - lightsWidth_), height());
}

// ---- picture ---------------------------------------------------------------------

bool LoadPictureFile(const QString& path, TCanvas& canvas)
{
    const QImage image = QImage(path).convertToFormat(QImage::Format_RGB32);
    if (image.isNull())
        return false;
    TCanvas picture(image.width(), image.height());
    for (int y = 0; y < image.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x)
            picture.SetPixel(x, y, RGBColor(qRed(row[x]), qGreen(row[x]), qBlue(row[x])));
    }
    canvas = std::move(picture);
    return true;
}
