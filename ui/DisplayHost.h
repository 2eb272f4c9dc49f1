// What the displays and the display refresh need from the main window.
//
// The main window implements this once, over its own state and its
// toolkit's edge. All calls come on the user-interface thread.
#pragma once

#include <string>

#include "Canvas.h"

struct SoundMapRecord;

enum class TDisplayBox { PaintBox1, PaintBox2, PaintBox3 };
enum class TMessageKind { Error, Information };

class IDisplayHost {
public:
    virtual ~IDisplayHost() = default;

    // The sound map record, or null when there is none.
    virtual SoundMapRecord* Record() = 0;

    // The pixel buffer of a paint box, as large as the box. Its size is the
    // box's width and height.
    virtual TCanvas& BoxCanvas(TDisplayBox box) = 0;
    // The refresh has drawn into the box's canvas: show it.
    virtual void BoxDrawn(TDisplayBox box) = 0;
    // PaintBox3's own visibility flag, not that of its parents.
    virtual bool PaintBox3Visible() = 0;

    // Show input mode, from the menu tags: Realtime1.Tag == 1,
    // Timeline1.Tag == 1.
    virtual bool Realtime1Selected() = 0;
    virtual bool Timeline1Selected() = 0;

    // The noise cut-off fader. SetTrackBar3Position follows the toolkit
    // rule: clamp into the range, run TrackBar3Change only when the stored
    // position changes.
    virtual int TrackBar3Position() = 0;
    virtual int TrackBar3Min() = 0;
    virtual int TrackBar3Max() = 0;
    virtual void SetTrackBar3Position(int position) = 0;
    virtual void TrackBar3Change() = 0;
    virtual std::string TrackBar3Hint() = 0;

    // Text of status-bar panel 2.
    virtual void SetStatusText(const std::string& text) = 0;
    // Whole hints ("short|long"); the window's hint handling shows them.
    virtual void SetPaintBox2Hint(const std::string& hint) = 0;
    virtual void SetPaintBox3Hint(const std::string& hint) = 0;
    virtual void SetComboBox1Hint(const std::string& hint) = 0;
    virtual void SetStatusBar1Hint(const std::string& hint) = 0;

    // The tempo label Label1.
    virtual void SetLabel1(const std::string& caption, TColor fontColor) = 0;
    // Repaint StatusBar1 at once (synchronously, not queued); its drawing
    // calls TDisplayRefresh::PaintStatusLights or StatusBar1DrawPanel.
    virtual void RepaintStatusBar() = 0;

    // DeviceName of the capture (capture/WaveInRing.h).
    virtual std::string DeviceName() = 0;
    // The user's decimal separator.
    virtual char DecimalSeparator() = 0;
    // A modal message box with one OK button: Error or Information icon.
    virtual void ShowMessage(const std::string& text, TMessageKind kind) = 0;
};
