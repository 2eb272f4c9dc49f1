#include "DisplayRefresh.h"

#include <exception>

#include "BlockAnalysis.h"
#include "DisplayText.h"
#include "TrigDetector.h"

namespace {
constexpr auto kRelaxed = std::memory_order_relaxed;
}

void TDisplayRefresh::VisualTimerTimer()
{
    // A tick queued before the minimize may still arrive.
    if (!Enabled)
        return;
    try {
        const char sep = host_.DecimalSeparator();
        const std::string bpm = TempoText(Bpm.load(kRelaxed), sep);
        if (BpmLocked.load(kRelaxed))
            host_.SetLabel1(bpm + " BPM", clLime);
        else
            host_.SetLabel1(bpm + " BPM (" + TempoText(BpmInstant.load(kRelaxed), sep) + ")", clRed);

        host_.SetComboBox1Hint("Current soundcard|Input: " + host_.DeviceName());

        spectrum_.DrawEqualizerEditor(host_.BoxCanvas(TDisplayBox::PaintBox3));
        host_.BoxDrawn(TDisplayBox::PaintBox3);
        spectrum_.DrawSpectrumAnalyzer(host_.BoxCanvas(TDisplayBox::PaintBox2));
        host_.BoxDrawn(TDisplayBox::PaintBox2);
        level_.PaintBox1Paint(host_.BoxCanvas(TDisplayBox::PaintBox1));
        host_.BoxDrawn(TDisplayBox::PaintBox1);

        host_.RepaintStatusBar();
        LowerPeakHold(kPeakHoldStep);
    } catch (const std::exception&) {
        host_.ShowMessage("Gfx error", TMessageKind::Information);
    }
}

void TDisplayRefresh::StatusBar1DrawPanel(TCanvas& canvas, int panel, const TRect& rect)
{
    if (panel == 0) {
        if (PeakHold.load(kRelaxed) > kClipLevel) {
            canvas.Brush.Color = clRed;
            canvas.FillRect(rect);
        }
    } else if (panel == 1) {
        // exchange: a trig flagged after the test is shown next tick, not lost.
        if (TrigFlash.exchange(0, kRelaxed) != 0)
            canvas.Brush.Color = clBlue;
        else
            canvas.Brush.Color = clBtnFace;
        canvas.FillRect(rect);
    }
}

void TDisplayRefresh::PaintStatusLights(TCanvas& canvas)
{
    canvas.Brush.Color = clBtnFace;
    canvas.FillRect(0, 0, canvas.Width(), canvas.Height());
    StatusBar1DrawPanel(canvas, 0, TRect{0, 0, kLightPanelWidth, canvas.Height()});
    StatusBar1DrawPanel(canvas, 1, TRect{kLightPanelWidth, 0, 2 * kLightPanelWidth, canvas.Height()});
}

void TDisplayRefresh::StatusBar1MouseMove(unsigned, int x, int)
{
    if (x > 2 * kLightPanelWidth || x < 0)
        host_.SetStatusBar1Hint("|");
    else if (x >= 1 && x <= kLightPanelWidth)
        host_.SetStatusBar1Hint("Clipping detector|Flashes if sound input is clipping");
    else if (x > kLightPanelWidth)
        host_.SetStatusBar1Hint("Trig detector|Flashes on trig");
}
