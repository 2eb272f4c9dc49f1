// What the main window's logic needs from a window toolkit: the outputs
// that show the window's state, and nothing that decides. Each toolkit's
// edge implements it and calls the window's handlers for what the user did.
// Everything here runs on the user-interface thread. No name may collide
// with a windows.h macro (MessageBox, LoadImage, SetWindowText, ...).
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "Canvas.h"
#include "DisplayHost.h"

// The position controls: three faders and the gain scroll bar.
enum class TPositionId { TrackBar1, TrackBar2, TrackBar3, ScrollBar1 };
inline constexpr int kPositionControls = 4;

// Controls that carry a hint.
enum class THintId { ScrollBar1, TrackBar1, TrackBar2, TrackBar3, ComboBox1, PaintBox1, PaintBox2, PaintBox3, StatusBar1 };
inline constexpr int kHintControls = 9;

// Panels whose visibility the window's state decides.
enum class TPanelId { Panel1, FFTPanel, FaderPanel, SoundCardPanel };
inline constexpr int kPanels = 4;

// The main menu's items, in menu order.
enum class TMenuId {
    AutoSaveChanges1,
    PassKeypressestoVantorix,
    Exit1,
    UseFFT1,
    Volume1,
    Equalizer1,
    Low1,
    Medium1,
    High1,
    Runminimized1,
    StayOnTop1,
    None1,
    Realtime1,
    Timeline1,
    Triggerfaders1,
    SoundCard1,
    Contents1,
    About1,
};
inline constexpr int kMenuItems = 18;

enum class TTimerId { VisualTimer, SharedMapTimer };

// The modal boxes: the error box (stop icon, OK), the information box
// (OK) and the close question (Yes/No, No the default).
enum class TBoxKind { Error, Information, Question };
enum class TBoxAnswer { Ok, Yes, No };

// The window's client area: position and size in pixels.
struct TPlacement {
    int Left = 0;
    int Top = 0;
    int Width = 0;
    int Height = 0;
};

class IWindowEdge {
public:
    virtual ~IWindowEdge() = default;

    // --- controls ---------------------------------------------------------
    // A position control's range and position; shown only, no change
    // handler runs (the window's logic runs those itself).
    virtual void ShowPosition(TPositionId control, int min, int max, int position) = 0;
    // A hint "short|long": short part as the pop-up hint, long part as the
    // control's status text.
    virtual void ShowHint(THintId control, const std::string& hint) = 0;
    // Status-bar panel 2.
    virtual void ShowStatusText(const std::string& text) = 0;
    virtual void ShowPanel(TPanelId panel, bool visible) = 0;
    // A menu item's tag (1 = on) and its image (-1 = none).
    virtual void ShowMenuItem(TMenuId item, int tag, int imageIndex) = 0;
    // The tempo label.
    virtual void ShowLabel1(const std::string& caption, TColor fontColor) = 0;
    // The device chooser's entries and the selected one.
    virtual void ShowDevices(const std::vector<std::string>& entries, int selected) = 0;

    // --- paint boxes ---------------------------------------------------------
    // A paint box's pixels, as large as the box.
    virtual TCanvas& BoxCanvas(TDisplayBox box) = 0;
    // The box's canvas was drawn: show it.
    virtual void BoxDrawn(TDisplayBox box) = 0;
    // Repaints the status bar at once; its lights are drawn by the window's
    // PaintStatusLights.
    virtual void RepaintStatusBar() = 0;
    // Reads a bitmap file into canvas at its own size; false, canvas
    // untouched, when it cannot be read.
    virtual bool ReadPicture(const std::string& path, TCanvas& canvas) = 0;

    // --- the window ----------------------------------------------------------
    virtual void ShowStayOnTop(bool onTop) = 0;
    // Minimizes or restores the shown window; the edge reports each real
    // change back through TVxSoundApp::WindowMinimized. Before the window
    // is shown, the window's logic keeps the state (MinimizedBeforeShow).
    virtual bool IsShown() const = 0;
    virtual void ShowMinimized(bool minimized) = 0;
    virtual void Place(const TPlacement& placement) = 0;
    // Where the close saves the window: the size, and the position the
    // settings gave less whatever offset the window manager added.
    virtual TPlacement Placement() const = 0;
    // The free area of the screen at the point (or the main screen's).
    virtual TPlacement WorkArea(int left, int top) const = 0;
    // The sizes of FFTPanel (width) and Panel2 (height) as the splitters
    // show them; false while FFTPanel is not on screen.
    virtual bool CurrentSplits(int& fftWidth, int& panel2Height) const = 0;
    // Gives FFTPanel and Panel2 these sizes, the rest going to their
    // neighbours.
    virtual void ShowSplits(int fftWidth, int panel2Height) = 0;
    virtual void EnableTimer(TTimerId timer, bool enabled) = 0;
    // The window is done: hide it and end the message loop.
    virtual void EndWindow() = 0;

    // --- boxes and the rest ----------------------------------------------------
    // A modal box with the application's title; returns the answer.
    virtual TBoxAnswer RunBox(TBoxKind kind, const std::string& text) = 0;
    // The host's close while a box runs: the box is answered No (or OK)
    // and RunBox returns.
    virtual void DismissBox() = 0;
    virtual void ProcessMessages() = 0;
    // Runs fn on the user-interface thread later; callable from any thread.
    virtual void PostToWindow(std::function<void()> fn) = 0;
    virtual void ShowAbout() = 0;
    // Opens the help file at the topic.
    virtual void OpenHelp(const std::string& path, int context) = 0;
    // The minimize, restore, hint and key handlers of the application
    // (start-up step 6): from here on the edge reports minimize and restore
    // and forwards keys.
    virtual void InstallApplicationHandlers() = 0;
    // The user's decimal separator.
    virtual char DecimalSeparator() const = 0;
};
