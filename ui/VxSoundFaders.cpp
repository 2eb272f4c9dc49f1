// Trigger faders, gain scroll bar and their read-outs.
#include "VxSoundApp.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "BlockAnalysis.h"
#include "SoundMapRecord.h"

void TPositionControl::SetPosition(int position)
{
    Store(std::clamp(position, min_, max_));
}

void TPositionControl::SetMax(int max)
{
    max_ = max;
    min_ = std::min(min_, max_);
    const int clamped = std::clamp(pos_, min_, max_);
    if (clamped != pos_) {
        Store(clamped);
        return;
    }
    if (OnShow)
        OnShow();
}

void TPositionControl::Store(int position)
{
    if (position == pos_)
        return;
    pos_ = position;
    if (OnShow)
        OnShow();
    if (OnChange)
        OnChange();
}

int DecayMs(int position)
{
    // One block is 23.22 ms; halves go to the even neighbour.
    return static_cast<int>(std::nearbyint((static_cast<long double>(position) + 1.0L) * 23.22L));
}

std::string NoiseReadout(int position)
{
    // Tenths of a dB, then split by integer division so that the text
    // never depends on the locale.
    const double db = 200.0 * std::log10(static_cast<double>(position) / 512.0);
    const long long t = std::isfinite(db) ? std::llround(std::nearbyint(db)) : 0;
    return std::to_string(t / 10) + "." + std::to_string(std::llabs(t % 10));
}

std::string GainReadout(float gain, char decimalPoint)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.1f", 20.0 * std::log10(static_cast<double>(gain)));
    std::string s = text;
    std::replace(s.begin(), s.end(), '.', decimalPoint);
    return s;
}

void TVxSoundApp::TrackBar1Change()
{
    const int position = TrackBar1.Position();
    if (SoundMapRecord* rec = Record())
        rec->SetTrigDecay(position);
    const std::string hint = "Decay|Minimum time between trigs: " + std::to_string(DecayMs(position)) + " ms";
    SetHint(THintId::TrackBar1, hint);
    ApplicationHint(hint);
}

void TVxSoundApp::TrackBar2Change()
{
    if (SoundMapRecord* rec = Record())
        rec->SetTrigAggr(TrackBar2.Position());
}

void TVxSoundApp::TrackBar3Change()
{
    const int position = TrackBar3.Position();
    if (SoundMapRecord* rec = Record())
        rec->SetNoiseLevelValue(position);
    const std::string hint = "Noise cut-off level|Minimum sound trig level: " + NoiseReadout(position) + " dB";
    SetHint(THintId::TrackBar3, hint);
    ApplicationHint(hint);
}

void TVxSoundApp::ScrollBar1Change()
{
    const int position = ScrollBar1.Position();
    const float gain = GainOfPosition(position);
    GlobalGain.store(gain, std::memory_order_relaxed);
    const std::string s = GainReadout(gain, DecimalSeparator());
    if (SoundMapRecord* rec = Record()) {
        rec->SetGain(static_cast<std::int8_t>(-position));
        rec->SetGainText(s.substr(0, 10));
    }
    const std::string text = "Gain: " + s + "dB";
    SetHint(THintId::ScrollBar1, text + '|' + text);
    ApplicationHint(text);
}
