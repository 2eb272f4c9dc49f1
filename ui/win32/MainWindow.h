// The main window in Win32: the controls of the window's table, shown from
// the window's state (TVxSoundApp) and reporting what the user did to its
// handlers. Decisions are the window's; this edge only shows and reports.
//
// The panels are areas of the main window, not windows of their own: the
// window paints their backgrounds and bevels and lays their controls out,
// and the splitters are strips between them that the window drags.
#pragma once

#include <windows.h>

#include <array>
#include <functional>
#include <string>
#include <vector>

#include "PaintBox.h"
#include "VxSoundApp.h"
#include "Widgets.h"

class IWindowMessages;

// The window's own messages: the host's close request is the core's
// kHostCloseMessage; these sit beside it in the same range.
inline constexpr UINT kRaiseWindowMessage = 1024 + 1502;  // a second start asks to come forward
inline constexpr UINT kPostedCallMessage = WM_APP + 1;    // PostToWindow's call, lParam owns it

class TVxSoundWindow final : public IWindowEdge {
public:
    TVxSoundWindow();
    ~TVxSoundWindow() override;
    TVxSoundWindow(const TVxSoundWindow&) = delete;
    TVxSoundWindow& operator=(const TVxSoundWindow&) = delete;

    // The window's state and handlers.
    TVxSoundApp App{*this};

    // --- controls -----------------------------------------------------
    HWND Handle = nullptr;  // class TVxSoundApp, the application's caption
    HWND ScrollBar1 = nullptr;
    HWND TrackBar1 = nullptr;
    HWND TrackBar2 = nullptr;
    HWND TrackBar3 = nullptr;
    HWND ComboBox1 = nullptr;
    HWND StatusBar1 = nullptr;
    HWND Label1 = nullptr;
    HWND Tooltip = nullptr;
    TPaintBox PaintBox1;
    TPaintBox PaintBox2;
    TPaintBox PaintBox3;
    HMENU MainMenu1 = nullptr;
    TSplitter Splitter1{true};
    TSplitter Splitter2{false};

    HWND Control(THintId control) const;
    HWND PositionControl(TPositionId control) const;
    // The menu item's command id, and the popup menus by their designer's
    // names (null for an unknown name).
    static UINT MenuCommand(TMenuId item) { return 100 + static_cast<UINT>(item); }
    HMENU Menu(const char* name) const;
    HBITMAP BlankCheckMark();
    // The image index a menu item shows (-1 = none).
    int MenuImage(TMenuId item) const { return images_[static_cast<int>(item)]; }
    // The areas of the layout, in client pixels (empty while hidden).
    RECT PanelRect(TPanelId panel) const;
    // Pixels of a design size at the window's scaling, and back. The
    // window's logic (and so the settings file) counts in design pixels:
    // a window keeps its look from one scaling to the next.
    int Scaled(int designPixels) const { return MulDiv(designPixels, dpi_, 96); }
    int Unscaled(int pixels) const { return MulDiv(pixels, 96, dpi_); }
    int Dpi() const { return dpi_; }

    // The window that receives forwarded keys is found through messages;
    // set before start-up installs the application handlers.
    void SetKeyMessages(IWindowMessages* messages) { keyMessages_ = messages; }
    // Every message of the thread's loop before it is translated: key
    // forwarding, the status hint of the control under the mouse, and the
    // About window's Enter and Esc. True when the message was used up.
    bool PreTranslate(MSG& msg);
    // Shows the window as start-up left it: minimized or normal.
    void ShowAtStart();
    // Runs the message loop until the window ends it; the quit code.
    int Run();

    // --- IWindowEdge -------------------------------------------------------
    void ShowPosition(TPositionId control, int min, int max, int position) override;
    void ShowHint(THintId control, const std::string& hint) override;
    void ShowStatusText(const std::string& text) override;
    void ShowPanel(TPanelId panel, bool visible) override;
    void ShowMenuItem(TMenuId item, int tag, int imageIndex) override;
    void ShowLabel1(const std::string& caption, TColor fontColor) override;
    void ShowDevices(const std::vector<std::string>& entries, int selected) override;
    TCanvas& BoxCanvas(TDisplayBox box) override;
    void BoxDrawn(TDisplayBox box) override;
    void RepaintStatusBar() override;
    bool ReadPicture(const std::string& path, TCanvas& canvas) override;
    void ShowStayOnTop(bool onTop) override;
    bool IsShown() const override;
    void ShowMinimized(bool minimized) override;
    bool IsMinimized() const;  // the shown window, or the state it will be shown in
    void Place(const TPlacement& placement) override;
    TPlacement Placement() const override;
    TPlacement WorkArea(int left, int top) const override;
    bool CurrentSplits(int& fftWidth, int& panel2Height) const override;
    void ShowSplits(int fftWidth, int panel2Height) override;
    void EnableTimer(TTimerId timer, bool enabled) override;
    void EndWindow() override;
    TBoxAnswer RunBox(TBoxKind kind, const std::string& text) override;
    void DismissBox() override;
    void ProcessMessages() override;
    void PostToWindow(std::function<void()> fn) override;
    void ShowAbout() override;
    void OpenHelp(const std::string& path, int context) override;
    void InstallApplicationHandlers() override;
    char DecimalSeparator() const override;

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Dispatch(UINT message, WPARAM wParam, LPARAM lParam);
    void BuildControls();
    void BuildMenu();
    void ConnectDisplays();
    void MakeFonts();
    void ApplyFonts();
    void Layout();
    void Paint();
    void OnScroll(HWND control, int code);
    bool OnCommand(WPARAM wParam, LPARAM lParam);
    void OnMenuSelect(UINT item, UINT flags, HMENU menu);
    void OnInitMenuPopup(HMENU menu);
    bool OnDrawItem(const DRAWITEMSTRUCT& item);
    void DrawMenuImage(const DRAWITEMSTRUCT& item);
    HICON MenuIcon(int imageIndex);
    void OnMeasureItem(MEASUREITEMSTRUCT& item);
    void OnSizeChange(WPARAM kind);
    void OnDpiChanged(int dpi, const RECT& suggested);
    void TrackHint(HWND under);
    void StatusBarMouseMove(int x, int y, WPARAM keys);
    static LRESULT CALLBACK StatusBarProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                               UINT_PTR id, DWORD_PTR data);
    bool SplitterAt(POINT p, TSplitter*& splitter) const;
    void DragSplitter(TSplitter& splitter, POINT p);

    std::array<int, kMenuItems> images_{};
    std::array<HMENU, kMenuItems> itemMenus_{};
    std::vector<std::pair<std::string, HMENU>> menus_;
    // Hints of the menu's lines by command id (the bar's menus by handle).
    std::vector<std::pair<UINT, std::string>> menuHints_;
    std::vector<std::pair<HMENU, void (TVxSoundApp::*)()>> menuOpeners_;
    std::array<std::string, kHintControls> tips_;
    std::array<bool, kPanels> panels_{true, true, true, true};
    std::array<HICON, TImageList::kCount> menuIcons_{};
    IWindowMessages* keyMessages_ = nullptr;
    bool handlers_ = false;
    bool visualTimer_ = true;
    bool sharedMapTimer_ = true;
    // Until the window is first shown its minimized state is only
    // recorded, and reported as the application's minimize or restore.
    bool shown_ = false;
    bool minimized_ = false;
    bool ended_ = false;
    int dpi_ = 96;
    // The sizes the splitters give FFTPanel and Panel2, in pixels.
    int fftWidth_ = 151;
    int panel2Height_ = 38;
    HFONT font_ = nullptr;
    HBITMAP blankCheck_ = nullptr;  // the switches' and options' check mark
    HBRUSH black_ = nullptr;
    HBRUSH face_ = nullptr;
    COLORREF label1Color_ = RGB(255, 0, 0);
    std::string label1Text_ = "0.00 BPM";
    HWND hintControl_ = nullptr;
    HWND focus_ = nullptr;
    int boxDepth_ = 0;
    RECT rects_[kPanels]{};
    RECT level_{};   // left of Splitter1: Panel1 or the bare black area
    RECT panel2_{};  // Panel2 inside FFTPanel
};

// The window procedure's instance for a handle (null for another window).
TVxSoundWindow* WindowOf(HWND window);
