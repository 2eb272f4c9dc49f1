// The level display, the spectrum analyzer and the equalizer editor.
//
// Each draws into the canvas of its paint box (IDisplayHost::BoxCanvas) or
// into an off-screen bitmap that it then copies there; the display refresh
// runs the drawing on every tick. Mouse handlers take the box's own
// coordinates. Button and shift state are passed through and not used.
#pragma once

#include <string>

#include "Canvas.h"
#include "DisplayHost.h"

inline constexpr int kLevelScale = 1024;  // history units over the full height
inline constexpr int kEqualizerBitmapWidth = 135;
inline constexpr int kEqualizerSlot = 9;
inline constexpr int kShownBands = 15;
inline constexpr int kPictureColumns = 7;  // columns of the picture that bars show

inline constexpr const char* kPaintBox1HintLong = "Use this window to verify sound level";
inline constexpr const char* kPaintBox3Hint = "Equalizer|Global equalizer for the sound input";

// The long part of a hint (after the first "|"), or the whole hint.
std::string HintLongPart(const std::string& hint);

class TLevelDisplay {
public:
    explicit TLevelDisplay(IDisplayHost& host) : host_(host) {}

    TCanvas LevelBitmap;
    bool LevelDragging = false;

    // Draws the mode the menu tags select into box (PaintBox1's canvas);
    // reports a drawing failure as "PaintBox1 gfx error".
    void PaintBox1Paint(TCanvas& box);
    // Panel1's resize: LevelBitmap gets PaintBox1's width, then its height.
    void Panel1Resize();
    void PaintBox1MouseDown(int button, unsigned shift, int x, int y);
    void PaintBox1MouseMove(unsigned shift, int x, int y);
    void PaintBox1MouseUp(int button, unsigned shift, int x, int y);

private:
    void DrawRealtime(TCanvas& box);
    void DrawTimeline(TCanvas& box);

    IDisplayHost& host_;
};

class TSpectrumDisplay {
public:
    explicit TSpectrumDisplay(IDisplayHost& host) : host_(host) {}

    TCanvas AudioLevelPicture;
    TCanvas SpectrumBitmap;
    TCanvas EqualizerBitmap;
    bool EqualizerDragging = false;

    // FFTPanel's resize: SpectrumBitmap 17 picture widths by the picture's
    // height.
    void FFTPanelResize();

    // The two drawing steps of the refresh tick, editor first.
    void DrawEqualizerEditor(TCanvas& paintBox3);
    void DrawSpectrumAnalyzer(TCanvas& paintBox2);

    // Bound to PaintBox3's mouse-down event.
    void PaintBox2MouseDown(int button, unsigned shift, int x, int y);
    void PaintBox3MouseMove(unsigned shift, int x, int y);
    void PaintBox3MouseUp(int button, unsigned shift, int x, int y);
    void PaintBox2MouseMove(unsigned shift, int x, int y);

private:
    IDisplayHost& host_;
};
