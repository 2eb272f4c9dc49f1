// The display refresh tick and the status-bar lights.
//
// Wiring: VisualTimer (100 ms) calls VisualTimerTimer; the application's
// minimize and restore events call ApplicationMinimize and
// ApplicationRestore (besides stopping and starting the timer); the status
// bar's repaint calls PaintStatusLights (or StatusBar1DrawPanel per
// owner-drawn panel); its mouse move calls StatusBar1MouseMove.
#pragma once

#include <string>

#include "Canvas.h"
#include "DisplayHost.h"
#include "Displays.h"

inline constexpr int kLightPanelWidth = 30;
inline constexpr std::int32_t kPeakHoldStep = 1000;

class TDisplayRefresh {
public:
    TDisplayRefresh(IDisplayHost& host, TLevelDisplay& level, TSpectrumDisplay& spectrum)
        : host_(host), level_(level), spectrum_(spectrum)
    {
    }

    // The 100 ms tick: tempo label, chooser hint, editor, analyzer, level
    // display, status bar, peak-hold decay. A failure shows "Gfx error" and
    // skips the rest of the tick. Does nothing while minimized.
    void VisualTimerTimer();

    void ApplicationMinimize() { Enabled = false; }
    void ApplicationRestore() { Enabled = true; }
    bool Enabled = true;

    // Owner-draw of status-bar panels 0 (clipping light) and 1 (trig light)
    // into canvas. The panel's background must already be there (the
    // clipping light draws nothing when off).
    void StatusBar1DrawPanel(TCanvas& canvas, int panel, const TRect& rect);
    // The two lights side by side over a canvas of 60 x status-bar height:
    // clears it to the button face and draws panels 0 and 1.
    void PaintStatusLights(TCanvas& canvas);
    // Hint of the status bar by the mouse's X.
    void StatusBar1MouseMove(unsigned shift, int x, int y);

private:
    IDisplayHost& host_;
    TLevelDisplay& level_;
    TSpectrumDisplay& spectrum_;
};
