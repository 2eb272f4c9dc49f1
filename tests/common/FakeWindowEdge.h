// A window toolkit's edge that shows nothing: it keeps what the window told
// it, answers the window's boxes as the test says and reads the picture
// itself, so that the window's logic runs without a toolkit or a display.
#pragma once

#include <cstdint>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "VxSoundApp.h"

class TFakeWindowEdge final : public IWindowEdge {
public:
    struct TShownPosition {
        int Min = 0, Max = 0, Position = 0;
    };

    // Told of every real minimize and restore, as a toolkit's edge tells it.
    TVxSoundApp* App = nullptr;

    TShownPosition Positions[kPositionControls];
    std::string Hints[kHintControls];
    std::string StatusText;
    std::vector<std::string> HelpOpened;
    bool Panels[kPanels] = {true, true, true, true};
    int Images[kMenuItems] = {};
    std::vector<std::string> Devices;
    int Device = -1;
    // The paint boxes at the designer's sizes.
    TCanvas Canvases[3] = {TCanvas(127, 201, clBlack), TCanvas(149, 174, clBlack), TCanvas(149, 38, clBlack)};
    bool StayOnTop = true;
    bool Minimized = true;  // designed minimized; start-up decides
    TPlacement Placed;
    TPlacement Screen{0, 0, 1024, 768};
    // FFTPanel's width and Panel2's height as the splitters show them; a
    // test moves them as the user's drag would.
    int FftWidth = 0, Panel2Height = 0;
    bool Timers[2] = {true, true};  // VisualTimer, SharedMapTimer
    int Ended = 0;
    std::vector<std::pair<TBoxKind, std::string>> Boxes;
    TBoxAnswer Answer = TBoxAnswer::Yes;
    // Runs once, while the next box is open.
    std::function<void()> WhileBoxOpen;
    // Runs while start-up reads the picture: what the system delivers then.
    std::function<void()> WhileStarting;
    char Separator = '.';

    int Image(TMenuId item) const { return Images[static_cast<int>(item)]; }
    bool Timer(TTimerId t) const { return Timers[t == TTimerId::VisualTimer ? 0 : 1]; }
    std::vector<std::string> Texts(TBoxKind kind) const
    {
        std::vector<std::string> texts;
        for (const auto& [k, text] : Boxes)
            if (k == kind)
                texts.push_back(text);
        return texts;
    }

    void ShowPosition(TPositionId c, int min, int max, int at) override { Positions[static_cast<int>(c)] = {min, max, at}; }
    void ShowHint(THintId c, const std::string& hint) override { Hints[static_cast<int>(c)] = hint; }
    void ShowStatusText(const std::string& text) override { StatusText = text; }
    void ShowPanel(TPanelId panel, bool visible) override { Panels[static_cast<int>(panel)] = visible; }
    void ShowMenuItem(TMenuId item, int, int image) override { Images[static_cast<int>(item)] = image; }
    void ShowLabel1(const std::string&, TColor) override {}
    void ShowDevices(const std::vector<std::string>& all, int at) override { std::tie(Devices, Device) = std::pair(all, at); }
    TCanvas& BoxCanvas(TDisplayBox box) override { return Canvases[static_cast<int>(box)]; }
    void BoxDrawn(TDisplayBox) override {}
    void RepaintStatusBar() override {}
    // The displays need the picture's size: read from the bitmap's header.
    bool ReadPicture(const std::string& path, TCanvas& canvas) override
    {
        if (WhileStarting)
            std::exchange(WhileStarting, nullptr)();
        unsigned char h[26] = {};
        std::ifstream(path, std::ios::binary).read(reinterpret_cast<char*>(h), sizeof h);
        if (h[0] != 'B' || h[1] != 'M')
            return false;
        canvas = TCanvas(h[18] | h[19] << 8, h[22] | h[23] << 8);
        return true;
    }
    void ShowStayOnTop(bool onTop) override { StayOnTop = onTop; }
    bool IsShown() const override { return true; }
    void ShowMinimized(bool minimized) override
    {
        if (minimized == Minimized)
            return;
        Minimized = minimized;
        if (App != nullptr)
            App->WindowMinimized(minimized);
    }
    void Place(const TPlacement& p) override { Placed = p; }
    TPlacement Placement() const override { return Placed; }
    TPlacement WorkArea(int, int) const override { return Screen; }
    bool CurrentSplits(int& fft, int& panel2) const override
    {
        std::tie(fft, panel2) = std::pair(FftWidth, Panel2Height);
        return Panels[static_cast<int>(TPanelId::FFTPanel)];
    }
    void ShowSplits(int fft, int panel2) override { std::tie(FftWidth, Panel2Height) = std::pair(fft, panel2); }
    void EnableTimer(TTimerId t, bool enabled) override { Timers[t == TTimerId::VisualTimer ? 0 : 1] = enabled; }
    void EndWindow() override { ++Ended; }
    TBoxAnswer RunBox(TBoxKind kind, const std::string& text) override
    {
        Boxes.push_back({kind, text});
        const bool outer = !boxOpen_;
        boxOpen_ = true;
        dismissed_ = false;
        if (auto during = std::exchange(WhileBoxOpen, nullptr))
            during();
        const bool dismissed = std::exchange(dismissed_, false);
        boxOpen_ = !outer;
        if (kind != TBoxKind::Question)
            return TBoxAnswer::Ok;
        return dismissed ? TBoxAnswer::No : Answer;
    }
    void DismissBox() override { dismissed_ = boxOpen_; }
    void ProcessMessages() override
    {
        std::vector<std::function<void()>> due;
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            due.swap(posted_);
        }
        for (auto& fn : due)
            fn();
    }
    void PostToWindow(std::function<void()> fn) override
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        posted_.push_back(std::move(fn));
    }
    void ShowAbout() override {}
    void OpenHelp(const std::string& path, int) override { HelpOpened.push_back(path); }
    void InstallApplicationHandlers() override {}
    char DecimalSeparator() const override { return Separator; }

private:
    bool boxOpen_ = false;
    bool dismissed_ = false;
    std::mutex mutex_;
    std::vector<std::function<void()>> posted_;
};
