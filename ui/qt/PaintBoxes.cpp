// The paint boxes, the status bar, the tempo label and the hints in Qt:
// the displays draw into the boxes' canvases, the mouse goes to the
// window's handlers.
#include "MainWindow.h"

#include <QLocale>
#include <QToolTip>

namespace {

unsigned ShiftOf(Qt::KeyboardModifiers modifiers)
{
    return static_cast<unsigned>(modifiers.toInt());
}

}  // namespace

void TVxSoundWindow::ConnectDisplays()
{
    // The paint boxes are drawn by the refresh tick only.
    PaintBox1->OnMouseDown = [this](Qt::MouseButton b, Qt::KeyboardModifiers m, int x, int y) {
        App.PaintBox1MouseDown(static_cast<int>(b), ShiftOf(m), x, y);
    };
    PaintBox1->OnMouseMove = [this](Qt::KeyboardModifiers m, int x, int y) { App.PaintBox1MouseMove(ShiftOf(m), x, y); };
    PaintBox1->OnMouseUp = [this](Qt::MouseButton b, Qt::KeyboardModifiers m, int x, int y) {
        App.PaintBox1MouseUp(static_cast<int>(b), ShiftOf(m), x, y);
    };
    // The editor's mouse-down handler carries PaintBox2's name.
    PaintBox3->OnMouseDown = [this](Qt::MouseButton b, Qt::KeyboardModifiers m, int x, int y) {
        App.PaintBox2MouseDown(static_cast<int>(b), ShiftOf(m), x, y);
    };
    PaintBox3->OnMouseMove = [this](Qt::KeyboardModifiers m, int x, int y) { App.PaintBox3MouseMove(ShiftOf(m), x, y); };
    PaintBox3->OnMouseUp = [this](Qt::MouseButton b, Qt::KeyboardModifiers m, int x, int y) {
        App.PaintBox3MouseUp(static_cast<int>(b), ShiftOf(m), x, y);
    };
    PaintBox2->OnMouseMove = [this](Qt::KeyboardModifiers m, int x, int y) { App.PaintBox2MouseMove(ShiftOf(m), x, y); };

    // The status bar's lights: owner-drawn on every repaint; the mouse's X
    // counts from the bar's left edge.
    StatusLights->OnPaint = [this] { App.PaintStatusLights(StatusLights->Canvas()); };
    StatusLights->OnMouseMove = [this](Qt::KeyboardModifiers m, int x, int y) {
        App.StatusBar1MouseMove(ShiftOf(m), x + StatusLights->x(), y + StatusLights->y());
    };
    StatusBar1->setMouseTracking(true);
    StatusPanel2->setMouseTracking(true);
}

TCanvas& TVxSoundWindow::BoxCanvas(TDisplayBox box)
{
    switch (box) {
    case TDisplayBox::PaintBox1: return PaintBox1->Canvas();
    case TDisplayBox::PaintBox2: return PaintBox2->Canvas();
    case TDisplayBox::PaintBox3: break;
    }
    return PaintBox3->Canvas();
}

void TVxSoundWindow::BoxDrawn(TDisplayBox box)
{
    switch (box) {
    case TDisplayBox::PaintBox1: PaintBox1->Present(); return;
    case TDisplayBox::PaintBox2: PaintBox2->Present(); return;
    case TDisplayBox::PaintBox3: PaintBox3->Present(); return;
    }
}

void TVxSoundWindow::RepaintStatusBar()
{
    StatusLights->Repaint();
}

bool TVxSoundWindow::ReadPicture(const std::string& path, TCanvas& canvas)
{
    return LoadPictureFile(QString::fromStdString(path), canvas);
}

void TVxSoundWindow::ShowLabel1(const std::string& caption, TColor fontColor)
{
    const QString text = QString::fromStdString(caption);
    if (Label1->text() != text)
        Label1->setText(text);
    if (label1Color_ != fontColor) {
        label1Color_ = fontColor;
        Label1->setStyleSheet(
            QStringLiteral("QLabel { color: %1; background: black; }").arg(QColor::fromRgb(fontColor).name()));
    }
}

void TVxSoundWindow::ShowHint(THintId control, const std::string& hint)
{
    QWidget* w = Control(control);
    const std::string tip = HintShortPart(hint);
    w->setToolTip(QString::fromStdString(tip));
    w->setStatusTip(QString::fromStdString(HintLongPart(hint)));
    // The long part holds the values in user units (dB, ms) that the
    // slider's own value does not tell a screen reader.
    if (control != THintId::StatusBar1)
        w->setAccessibleDescription(w->statusTip());
    // A tooltip already up goes with the hint it belonged to.
    if (tip.empty() && QToolTip::isVisible())
        QToolTip::hideText();
}

void TVxSoundWindow::ShowStatusText(const std::string& text)
{
    if (StatusPanel2 != nullptr)
        StatusPanel2->setText(QString::fromStdString(text));
}

char TVxSoundWindow::DecimalSeparator() const
{
    const QString point = QLocale().decimalPoint();
    return point.size() == 1 && point[0].unicode() < 0x80 ? static_cast<char>(point[0].unicode()) : '.';
}
