// The displays in the window: the view of the window's controls that the
// level display, the spectrum analyzer, the equalizer editor and the
// display refresh draw through, their mouse events and the refresh tick.
#include <QLocale>
#include <QMessageBox>
#include <QMouseEvent>
#include <QToolTip>

#include "VxSoundApp.h"
#include "WaveInRing.h"

namespace {

class TWindowDisplayHost final : public IDisplayHost {
public:
    explicit TWindowDisplayHost(TVxSoundApp& w) : w_(w) {}

    SoundMapRecord* Record() override { return w_.Record(); }
    TCanvas& BoxCanvas(TDisplayBox box) override { return Box(box)->Canvas(); }
    void BoxDrawn(TDisplayBox box) override { Box(box)->Present(); }
    bool PaintBox3Visible() override { return !w_.PaintBox3->isHidden(); }
    bool Realtime1Selected() override { return w_.Realtime1->Tag == 1; }
    bool Timeline1Selected() override { return w_.Timeline1->Tag == 1; }

    int TrackBar3Position() override { return w_.TrackBar3->value(); }
    int TrackBar3Min() override { return w_.TrackBar3->minimum(); }
    int TrackBar3Max() override { return w_.TrackBar3->maximum(); }
    // The slider clamps and signals only a change, as the toolkit does.
    void SetTrackBar3Position(int position) override { w_.TrackBar3->setValue(position); }
    void TrackBar3Change() override { w_.TrackBar3Change(); }
    std::string TrackBar3Hint() override { return w_.Hint(w_.TrackBar3).toStdString(); }

    void SetStatusText(const std::string& text) override { w_.StatusPanel2->setText(QString::fromStdString(text)); }
    void SetPaintBox2Hint(const std::string& hint) override { w_.ShowLiveHint(w_.PaintBox2, hint); }
    void SetPaintBox3Hint(const std::string& hint) override { w_.ShowLiveHint(w_.PaintBox3, hint); }
    // Set on every tick: the status text changes only when the mouse comes.
    void SetComboBox1Hint(const std::string& hint) override
    {
        const QString text = QString::fromStdString(hint);
        if (w_.Hint(w_.ComboBox1) != text)
            TVxSoundApp::SetHint(w_.ComboBox1, text);
    }
    void SetStatusBar1Hint(const std::string& hint) override { w_.ShowLiveHint(w_.StatusBar1, hint); }

    void SetLabel1(const std::string& caption, TColor fontColor) override
    {
        const QString text = QString::fromStdString(caption);
        if (w_.Label1->text() != text)
            w_.Label1->setText(text);
        if (w_.Label1Color != fontColor) {
            w_.Label1Color = fontColor;
            w_.Label1->setStyleSheet(QStringLiteral("QLabel { color: %1; background: black; }")
                                         .arg(QColor::fromRgb(fontColor).name()));
        }
    }
    void RepaintStatusBar() override { w_.StatusLights->Repaint(); }

    std::string DeviceName() override { return ::DeviceName; }
    char DecimalSeparator() override
    {
        const QString point = QLocale().decimalPoint();
        return point.size() == 1 && point[0].unicode() < 0x80 ? static_cast<char>(point[0].unicode()) : '.';
    }
    void ShowMessage(const std::string& text, TMessageKind kind) override { w_.DisplayMessage(text, kind); }

private:
    TPaintBox* Box(TDisplayBox box) const
    {
        switch (box) {
        case TDisplayBox::PaintBox1: return w_.PaintBox1;
        case TDisplayBox::PaintBox2: return w_.PaintBox2;
        case TDisplayBox::PaintBox3: break;
        }
        return w_.PaintBox3;
    }

    TVxSoundApp& w_;
};

unsigned ShiftOf(Qt::KeyboardModifiers modifiers)
{
    return static_cast<unsigned>(modifiers.toInt());
}

}  // namespace

void TVxSoundApp::ConnectDisplays()
{
    DisplayHost = std::make_unique<TWindowDisplayHost>(*this);
    Level = std::make_unique<TLevelDisplay>(*DisplayHost);
    Spectrum = std::make_unique<TSpectrumDisplay>(*DisplayHost);
    Refresh = std::make_unique<TDisplayRefresh>(*DisplayHost, *Level, *Spectrum);

    // The paint boxes are drawn by the refresh tick only.
    PaintBox1->OnMouseDown = [this](Qt::MouseButton b, Qt::KeyboardModifiers m, int x, int y) {
        Level->PaintBox1MouseDown(static_cast<int>(b), ShiftOf(m), x, y);
    };
    PaintBox1->OnMouseMove = [this](Qt::KeyboardModifiers m, int x, int y) {
        Level->PaintBox1MouseMove(ShiftOf(m), x, y);
    };
    PaintBox1->OnMouseUp = [this](Qt::MouseButton b, Qt::KeyboardModifiers m, int x, int y) {
        Level->PaintBox1MouseUp(static_cast<int>(b), ShiftOf(m), x, y);
    };
    // The editor's mouse-down handler carries PaintBox2's name.
    PaintBox3->OnMouseDown = [this](Qt::MouseButton b, Qt::KeyboardModifiers m, int x, int y) {
        Spectrum->PaintBox2MouseDown(static_cast<int>(b), ShiftOf(m), x, y);
    };
    PaintBox3->OnMouseMove = [this](Qt::KeyboardModifiers m, int x, int y) {
        Spectrum->PaintBox3MouseMove(ShiftOf(m), x, y);
    };
    PaintBox3->OnMouseUp = [this](Qt::MouseButton b, Qt::KeyboardModifiers m, int x, int y) {
        Spectrum->PaintBox3MouseUp(static_cast<int>(b), ShiftOf(m), x, y);
    };
    PaintBox2->OnMouseMove = [this](Qt::KeyboardModifiers m, int x, int y) {
        Spectrum->PaintBox2MouseMove(ShiftOf(m), x, y);
    };

    // The status bar's lights: owner-drawn on every repaint; the mouse's X
    // counts from the bar's left edge.
    StatusLights->OnPaint = [this] { Refresh->PaintStatusLights(StatusLights->Canvas()); };
    StatusLights->OnMouseMove = [this](Qt::KeyboardModifiers m, int x, int y) {
        Refresh->StatusBar1MouseMove(ShiftOf(m), x + StatusLights->x(), y + StatusLights->y());
    };
    StatusBar1->setMouseTracking(true);
    StatusPanel2->setMouseTracking(true);
}

void TVxSoundApp::VisualTimerTimer()
{
    // A message box of an earlier tick is still open: its own event loop
    // keeps the timer running, and boxes must not pile up.
    if (displayMessageOpen_)
        return;
    Refresh->VisualTimerTimer();
}

void TVxSoundApp::ShowLiveHint(QWidget* control, const std::string& hint)
{
    const QString text = QString::fromStdString(hint);
    SetHint(control, text);
    ApplicationHint(text);
    // A tooltip already up goes with the hint it belonged to.
    if (ShortHint(text).isEmpty() && QToolTip::isVisible())
        QToolTip::hideText();
}

void TVxSoundApp::DisplayMessage(const std::string& text, TMessageKind kind)
{
    displayMessageOpen_ = true;
    if (kind == TMessageKind::Error) {
        ErrorBox(QString::fromStdString(text));
    } else if (OnErrorBox) {
        OnErrorBox(QString::fromStdString(text));
    } else {
        QMessageBox box(QMessageBox::Information, QString::fromLatin1(kApplicationTitle), QString::fromStdString(text),
                        QMessageBox::Ok, this);
        box.exec();
    }
    displayMessageOpen_ = false;
}
