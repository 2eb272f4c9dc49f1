// A window for the displays: plain canvases for the paint boxes, a fader
// that follows the toolkit's clamp-and-change rule, and recorded texts.
#pragma once

#include <algorithm>
#include <functional>
#include <stdexcept>
#include <map>
#include <string>
#include <vector>

#include "BlockAnalysis.h"
#include "CaptureState.h"
#include "DisplayHost.h"
#include "SoundMapRecord.h"
#include "TrigDetector.h"

class FakeDisplayHost : public IDisplayHost {
public:
    SoundMapRecord record{};
    bool hasRecord = true;
    TCanvas box1{127, 201, clBlack};
    TCanvas box2{149, 174, clBlack};
    TCanvas box3{149, 38, clBlack};
    bool box3Visible = true;
    bool realtime = false;
    bool timeline = true;
    int position = 25, minimum = 1, maximum = 455;
    int changeCount = 0;
    std::string trackBar3Hint = "Noise cut-off level|Minimum sound trig level: -26.2 dB";
    std::string status, hint2, hint3, hintCombo, hintStatusBar = "initial";
    std::string label;
    TColor labelColor = 0;
    std::vector<std::string> messages;
    char separator = '.';
    std::string device = "Monitor of vxtest";
    // Called on every status-bar repaint, as the window's drawing would.
    std::function<void()> onRepaintStatusBar;
    bool throwOnComboHint = false;
    bool throwOnPosition = false;
    std::vector<std::string> events;

    SoundMapRecord* Record() override { return hasRecord ? &record : nullptr; }
    TCanvas& BoxCanvas(TDisplayBox box) override
    {
        return box == TDisplayBox::PaintBox1 ? box1 : box == TDisplayBox::PaintBox2 ? box2 : box3;
    }
    void BoxDrawn(TDisplayBox box) override { events.push_back("drawn" + std::to_string(static_cast<int>(box) + 1)); }
    bool PaintBox3Visible() override { return box3Visible; }
    bool Realtime1Selected() override { return realtime; }
    bool Timeline1Selected() override { return timeline; }
    int TrackBar3Position() override
    {
        if (throwOnPosition)
            throw std::runtime_error("position");
        return position;
    }
    int TrackBar3Min() override { return minimum; }
    int TrackBar3Max() override { return maximum; }
    void SetTrackBar3Position(int p) override
    {
        p = std::clamp(p, minimum, maximum);
        if (p != position) {
            position = p;
            TrackBar3Change();
        }
    }
    void TrackBar3Change() override
    {
        ++changeCount;
        record.SetNoiseLevelValue(position);
        status = HintLongPart(trackBar3Hint);
    }
    std::string TrackBar3Hint() override { return trackBar3Hint; }
    void SetStatusText(const std::string& t) override { status = t; }
    void SetPaintBox2Hint(const std::string& h) override { hint2 = h; }
    void SetPaintBox3Hint(const std::string& h) override { hint3 = h; }
    void SetComboBox1Hint(const std::string& h) override
    {
        if (throwOnComboHint)
            throw std::runtime_error("hint");
        hintCombo = h;
        events.push_back("combo");
    }
    void SetStatusBar1Hint(const std::string& h) override { hintStatusBar = h; }
    void SetLabel1(const std::string& caption, TColor color) override
    {
        label = caption;
        labelColor = color;
        events.push_back("label");
    }
    void RepaintStatusBar() override
    {
        events.push_back("statusbar");
        if (onRepaintStatusBar)
            onRepaintStatusBar();
    }
    std::string DeviceName() override { return device; }
    char DecimalSeparator() override { return separator; }
    void ShowMessage(const std::string& text, TMessageKind) override { messages.push_back(text); }
};

// Clean analysis state for every test.
inline void ResetDisplayState()
{
    ResetPeakHold();
    ResetHistory();
    ResetTempo();
    ResetTrigState();
    for (auto& s : SampleBlock)
        s.store(0);
    for (auto& b : BandValues)
        b.store(0.0f);
    for (auto& g : EqGain)
        g.store(1.0f);
}
