#include "Displays.h"

#include <algorithm>
#include <cmath>
#include <exception>

#include "BlockAnalysis.h"
#include "CaptureState.h"
#include "DisplayText.h"
#include "SoundMapRecord.h"

namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;

// Nearest integer, halves to the even neighbour (the default rounding
// mode). Clamped into int first, so huge or non-finite values stay defined.
int Rnd(double v)
{
    if (std::isnan(v))
        return 0;
    v = std::clamp(v, -1.0e9, 1.0e9);
    return static_cast<int>(std::nearbyint(v));
}

// The frames leave a box's last column (and for some its last row) undrawn,
// which on screen an expose repaints in the panel's black. The box's canvas
// persists, so that part is cleared before each frame: stray pixels of an
// earlier frame or size cannot pile up there.
void ClearOutside(TCanvas& box, int right, int bottom)
{
    const TColor brush = box.Brush.Color;
    box.Brush.Color = clBlack;
    box.FillRect(std::max(right, 0), 0, box.Width(), box.Height());
    box.FillRect(0, std::max(bottom, 0), box.Width(), box.Height());
    box.Brush.Color = brush;
}

}  // namespace

std::string HintLongPart(const std::string& hint)
{
    const auto bar = hint.find('|');
    return bar == std::string::npos ? hint : hint.substr(bar + 1);
}

// --- level display ----------------------------------------------------------

void TLevelDisplay::PaintBox1Paint(TCanvas& box)
{
    try {
        if (host_.Realtime1Selected())
            DrawRealtime(box);
        if (host_.Timeline1Selected())
            DrawTimeline(box);
    } catch (const std::exception&) {
        host_.ShowMessage("PaintBox1 gfx error", TMessageKind::Error);
    }
}

void TLevelDisplay::DrawRealtime(TCanvas& box)
{
    const int w = box.Width();
    const int h = box.Height();
    ClearOutside(box, w - 1, h);
    box.Brush.Color = clBlack;
    box.FillRect(0, 0, w - 1, h);
    box.Pen.Width = 1;
    box.MoveTo(0, h / 2);
    // One sample per column; a box wider than the block ends the trace at
    // the last sample.
    const int columns = std::min(w, kSamplesPerBlock);
    for (int x = 0; x < columns; ++x) {
        const int s = SampleBlock[x].load(kRelaxed);
        const int y = h / 2 - Rnd(h / 2.0 * s / 32768.0);
        TColor color = clLime;
        if (y < 10 || y > h - 10)
            color = clYellow;
        if (y < 4 || y > h - 4)
            color = clRed;
        box.Pen.Color = color;
        box.LineTo(x, y);
    }
}

void TLevelDisplay::DrawTimeline(TCanvas& box)
{
    TCanvas& bmp = LevelBitmap;
    const int w = box.Width();
    const int h = box.Height();
    const int bw = bmp.Width();
    const int bh = bmp.Height();
    bmp.Brush.Color = clBlack;
    bmp.FillRect(0, 0, w - 1, h);
    bmp.Pen.Width = 1;

    // The noise cut-off line at history value 2 P.
    bmp.Pen.Color = clBlue;
    const long long position = host_.TrackBar3Position();
    const int yN = bh - Rnd(2.0 * static_cast<double>(static_cast<long long>(bh - 1) * position) / kLevelScale);
    bmp.MoveTo(0, yN);
    bmp.LineTo(bw - 1, yN);

    bmp.Pen.Color = clLime;
    bmp.MoveTo(0, bh - Rnd((bh - 1) * static_cast<double>(LevelHistory[0].load(kRelaxed)) / kLevelScale));
    const int write = HistoryPos.load(kRelaxed);
    for (int i = 0; i < kHistoryLength; ++i) {
        TColor color = i == write ? clWhite : clLime;
        if (TrigHistory[i].load(kRelaxed) != 0)
            color = clYellow;
        bmp.Pen.Color = color;
        int y = (bh - 1) - Rnd((bh - 1) * static_cast<double>(LevelHistory[i].load(kRelaxed)) / kLevelScale);
        y = std::clamp(y, 0, std::max(bh - 1, 0));
        const int x = Rnd(static_cast<double>((bw - 1) * i) / kHistoryLength);
        bmp.LineTo(x, y);
    }
    ClearOutside(box, bw, bh);
    box.Draw(0, 0, bmp);
}

void TLevelDisplay::Panel1Resize()
{
    const TCanvas& box = host_.BoxCanvas(TDisplayBox::PaintBox1);
    LevelBitmap.SetWidth(box.Width());
    LevelBitmap.SetHeight(box.Height());
}

void TLevelDisplay::PaintBox1MouseDown(int, unsigned shift, int x, int y)
{
    LevelDragging = true;
    PaintBox1MouseMove(shift, x, y);
}

void TLevelDisplay::PaintBox1MouseMove(unsigned, int, int y)
{
    if (!(LevelDragging && host_.Timeline1Selected())) {
        host_.SetStatusText(kPaintBox1HintLong);
        return;
    }
    host_.SetStatusText(HintLongPart(host_.TrackBar3Hint()));
    const int h = host_.BoxCanvas(TDisplayBox::PaintBox1).Height();
    // Height 1 has no inverse of the line's formula: the fader stays.
    if (h > 1) {
        const double v = static_cast<double>(static_cast<long long>(h - y) * 512) / (h - 1);
        if (v < host_.TrackBar3Min())
            host_.SetTrackBar3Position(host_.TrackBar3Min());
        else if (v > host_.TrackBar3Max())
            host_.SetTrackBar3Position(host_.TrackBar3Max());
        else
            host_.SetTrackBar3Position(Rnd(v));
    }
    host_.TrackBar3Change();
}

void TLevelDisplay::PaintBox1MouseUp(int, unsigned, int, int)
{
    LevelDragging = false;
}

// --- spectrum analyzer and equalizer editor ---------------------------------

void TSpectrumDisplay::FFTPanelResize()
{
    SpectrumBitmap.SetWidth(17 * AudioLevelPicture.Width());
    SpectrumBitmap.SetHeight(AudioLevelPicture.Height());
}

void TSpectrumDisplay::DrawEqualizerEditor(TCanvas& box)
{
    const int h3 = box.Height();
    const int w3 = box.Width();
    TCanvas& bmp = EqualizerBitmap;
    bmp.Brush.Color = clBlack;
    bmp.SetWidth(kEqualizerBitmapWidth);
    bmp.SetHeight(h3);
    bmp.FillRect(0, 0, kEqualizerBitmapWidth, h3);
    if (!host_.PaintBox3Visible())
        return;
    const SoundMapRecord* record = host_.Record();
    if (record) {
        for (int i = 0; i < kShownBands; ++i) {
            switch (record->EqualizerColor(i)) {
            case 0: bmp.Pen.Color = clYellow; break;
            case 1: bmp.Pen.Color = clTeal; break;
            case 2: bmp.Pen.Color = clBlue; break;
            default: bmp.Pen.Color = clRed; break;
            }
            bmp.Pen.Width = 3;
            const int value = record->EqualizerBand(i + 1);
            const int y = static_cast<int>(std::trunc(h3 / 2.0 - static_cast<double>(h3 * value) / 255.0));
            bmp.MoveTo(kEqualizerSlot * i, y);
            bmp.LineTo(kEqualizerSlot * i + 8, y);
        }
    }
    ClearOutside(box, w3 - 1, h3);
    box.StretchDraw(TRect{0, 0, w3 - 1, h3}, bmp);
}

void TSpectrumDisplay::DrawSpectrumAnalyzer(TCanvas& box)
{
    TCanvas& bmp = SpectrumBitmap;
    const int pw = AudioLevelPicture.Width();
    const int ph = AudioLevelPicture.Height();
    bmp.Brush.Color = clBlack;
    bmp.FillRect(0, 0, bmp.Width(), bmp.Height());
    for (int i = 0; i < kShownBands; ++i) {
        const double value = BandValues[i + 1].load(kRelaxed);
        // A bar above the picture's height stops at its top row.
        const int h = std::clamp(Rnd(value / 25.0), 0, std::max(ph - 1, 0));
        const TRect dest{(pw + 1) * i, ph - 1 - h, (pw + 1) * (i + 1) - 1, ph - 1};
        const TRect source{0, ph - 1 - h, kPictureColumns, ph - 1};
        bmp.CopyRect(dest, AudioLevelPicture, source);
    }
    ClearOutside(box, box.Width() - 1, box.Height() - 1);
    box.StretchDraw(TRect{0, 0, box.Width() - 1, box.Height() - 1}, bmp);
}

void TSpectrumDisplay::PaintBox2MouseDown(int, unsigned shift, int x, int y)
{
    EqualizerDragging = true;
    PaintBox3MouseMove(shift, x, y);
}

void TSpectrumDisplay::PaintBox3MouseMove(unsigned, int x, int y)
{
    const TCanvas& box = host_.BoxCanvas(TDisplayBox::PaintBox3);
    const int w3 = box.Width();
    const int h3 = box.Height();
    // An editor not laid out yet has no bands to map to.
    if (w3 < 1 || h3 < 1)
        return;
    if (x < 1)
        x = 1;
    if (x > w3 - 1)
        x = w3 - 1;
    if (y < 1)
        y = 1;
    if (y > h3 - 1)
        y = h3 - 1;
    const int band = std::clamp(static_cast<int>(std::trunc(15.0 * x / w3)) + 1, 1, kShownBands);
    if (EqualizerDragging) {
        EqGain[band].store(static_cast<float>(std::pow(10.0, 2.0 * (h3 - y) / h3) / 10.0), kRelaxed);
        if (SoundMapRecord* record = host_.Record())
            record->SetEqualizerBand(band, static_cast<std::int8_t>(Rnd((h3 / 2.0 - y) * 255.0 / h3)));
    }
    const std::string t =
        FormatFixed(20.0 * std::log10(static_cast<double>(EqGain[band].load(kRelaxed))), 7, 1, host_.DecimalSeparator());
    const std::string f = std::to_string(BandCentre(band));
    const std::string hint = t + "dB|Gain at " + f + " Hz: " + t + "dB";
    host_.SetPaintBox3Hint(hint);
    host_.SetStatusText(HintLongPart(hint));
}

void TSpectrumDisplay::PaintBox3MouseUp(int, unsigned, int, int)
{
    EqualizerDragging = false;
    host_.SetPaintBox3Hint(kPaintBox3Hint);
}

void TSpectrumDisplay::PaintBox2MouseMove(unsigned, int x, int)
{
    const int w3 = host_.BoxCanvas(TDisplayBox::PaintBox3).Width();
    // With the button held the mouse may leave the box: keep X on it so the
    // band stays in the table.
    x = std::clamp(x, 0, std::max(w3 - 1, 0));
    const int band = w3 > 0 ? std::clamp(static_cast<int>(std::trunc(15.0 * x / w3)) + 1, 1, kShownBands) : 1;
    const std::string f = std::to_string(BandCentre(band));
    const std::string hint = f + " Hz| Spectrum Analyzer " + f + " Hz";
    host_.SetPaintBox2Hint(hint);
    host_.SetStatusText(HintLongPart(hint));
}
