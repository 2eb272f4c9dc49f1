// The displays in the window: what the level display, the spectrum
// analyzer, the equalizer editor and the display refresh draw through, and
// the refresh tick.
#include "VxSoundApp.h"

#include "WaveInRing.h"

void TVxSoundApp::VisualTimerTimer()
{
    // A message box of an earlier tick is still open: its own message loop
    // keeps the timer running, and boxes must not pile up.
    if (displayMessageOpen_)
        return;
    Refresh.VisualTimerTimer();
}

void TVxSoundApp::DisplayMessage(const std::string& text, TMessageKind kind)
{
    displayMessageOpen_ = true;
    if (kind == TMessageKind::Error) {
        ErrorBox(text);
    } else {
        Box(TBoxKind::Information, text);
        AfterBox();
    }
    displayMessageOpen_ = false;
}

TCanvas& TVxSoundApp::BoxCanvas(TDisplayBox box)
{
    return edge_.BoxCanvas(box);
}

void TVxSoundApp::BoxDrawn(TDisplayBox box)
{
    edge_.BoxDrawn(box);
}

void TVxSoundApp::SetStatusText(const std::string& text)
{
    edge_.ShowStatusText(text);
}

// Set on every tick: the status text changes only when the mouse comes.
void TVxSoundApp::SetComboBox1Hint(const std::string& hint)
{
    if (Hint(THintId::ComboBox1) != hint)
        SetHint(THintId::ComboBox1, hint);
}

void TVxSoundApp::SetLabel1(const std::string& caption, TColor fontColor)
{
    if (caption == Label1Caption && fontColor == Label1Color)
        return;
    Label1Caption = caption;
    Label1Color = fontColor;
    edge_.ShowLabel1(caption, fontColor);
}

void TVxSoundApp::RepaintStatusBar()
{
    edge_.RepaintStatusBar();
}

std::string TVxSoundApp::DeviceName()
{
    return ::DeviceName;
}

char TVxSoundApp::DecimalSeparator()
{
    return edge_.DecimalSeparator();
}
