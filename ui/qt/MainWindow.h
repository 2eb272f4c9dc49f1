// The main window in Qt: the controls of the window's table, shown from
// the window's state (TVxSoundApp) and reporting what the user did to its
// handlers. Decisions are the window's; this edge only shows and reports.
#pragma once

#include <QAction>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QScrollBar>
#include <QSlider>
#include <QTimer>

#include <array>
#include <memory>
#include <string>

#include "AboutForm.h"
#include "PaintBox.h"
#include "VxSoundApp.h"
#include "Widgets.h"

class IWindowMessages;
class KeyForwardFilter;
class QMessageBox;

class TVxSoundWindow final : public QMainWindow, public IWindowEdge {
    Q_OBJECT
public:
    explicit TVxSoundWindow(QWidget* parent = nullptr);
    ~TVxSoundWindow() override;

    // The window's state and handlers.
    TVxSoundApp App{*this};

    // --- controls -----------------------------------------------------
    QScrollBar* ScrollBar1 = nullptr;
    TSplitter* Splitter1 = nullptr;
    // Left of Splitter1, black: holds Panel1, and stays when Panel1 is
    // hidden so that FFTPanel keeps its own width at the right.
    QWidget* LevelArea = nullptr;
    QFrame* Panel1 = nullptr;
    TPaintBox* PaintBox1 = nullptr;
    QLabel* Label1 = nullptr;
    QFrame* FFTPanel = nullptr;
    TSplitter* Splitter2 = nullptr;
    TPaintBox* PaintBox2 = nullptr;
    QFrame* Panel2 = nullptr;
    TPaintBox* PaintBox3 = nullptr;
    QFrame* FaderPanel = nullptr;
    QSlider* TrackBar1 = nullptr;
    QSlider* TrackBar3 = nullptr;
    QSlider* TrackBar2 = nullptr;
    QFrame* SoundCardPanel = nullptr;
    QComboBox* ComboBox1 = nullptr;
    TStatusBar* StatusBar1 = nullptr;
    // The status bar's panels: 0 clipping light and 1 trig light, owner-drawn
    // side by side in one 60-pixel box at the bar's left edge, and 2 the
    // hint text.
    TPaintBox* StatusLights = nullptr;
    TStatusText* StatusPanel2 = nullptr;
    QTimer* VisualTimer = nullptr;
    QTimer* SharedMapTimer = nullptr;

    // The menu: the submenus and items by their designer's names.
    QAction* MenuAction(TMenuId item) const { return items_[static_cast<int>(item)]; }
    QMenu* Menu(const char* name) const;
    // The icon index a menu item shows (-1 = none).
    int MenuImage(TMenuId item) const { return images_[static_cast<int>(item)]; }

    // The window that receives forwarded keys is found through messages;
    // set before start-up installs the application handlers.
    void SetKeyMessages(IWindowMessages* messages) { keyMessages_ = messages; }
    KeyForwardFilter* KeyFilter() const { return keyFilter_; }

    QWidget* Control(THintId control) const;
    QAbstractSlider* Slider(TPositionId control) const;

    void setVisible(bool visible) override;

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

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildControls();
    void BuildMenu();
    void ConnectDisplays();
    void RestoreSplits();
    void RestoreSplitsNowAndLater();
    void KeepSplits();
    void CorrectPlacement();
    QWidget* PanelWidget(TPanelId panel) const;

    std::array<QAction*, kMenuItems> items_{};
    std::array<int, kMenuItems> images_{};
    std::vector<QMenu*> menus_;
    IWindowMessages* keyMessages_ = nullptr;
    KeyForwardFilter* keyFilter_ = nullptr;
    QMessageBox* openBox_ = nullptr;
    // Splitter layouts of the toolkit's own (a child just shown, the first
    // layout on screen) are not the user's: they are not kept.
    int pendingRestores_ = 0;
    bool restoringSplits_ = false;
    // Where the settings put the client area's corner; the window
    // manager's moves until the window is placed are corrected.
    QPoint placeAt_{450, 185};
    QPoint placeOffset_;
    static constexpr int kPlacingMs = 3000;
    bool placing_ = false;
    // Until the window is first shown its minimized state is only
    // recorded: on X11 a native window minimized while hidden maps iconic
    // whatever state it is given afterwards.
    TColor label1Color_ = clRed;
};
