// What the whole-program script under Wine needs of a host beyond vxhost:
// timings inside one process and the analyzer's boxes and window state.
//   vx_winehost adopt SEGMENT   host writes of the gain and the noise
//       cut-off fader, each timed until the window's readback shows it;
//       then the settings the script expects in the saved file
//   vx_winehost box TEXT S      waits up to S seconds for a message box
//       whose text holds TEXT; prints "caption|text" and presses its button
//   vx_winehost front S         waits up to S seconds for the analyzer's
//       window to be restored and in front
// Exit status 0 when what was asked for happened, 1 when not, 2 on usage.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "SharedMap.h"
#include "WindowMessages.h"

namespace {

using Clock = std::chrono::steady_clock;

// Polls every millisecond; the time until `done` held, or -1 after `ms`.
double MsUntil(const std::function<bool()>& done, int ms)
{
    const auto start = Clock::now();
    while (!done()) {
        if (Clock::now() - start > std::chrono::milliseconds(ms))
            return -1;
        ::Sleep(1);
    }
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

int Adopt(const std::string& segment)
{
    TSharedMap map(PlatformSharedMemory(), segment);
    SoundMapRecord& r = *map.Data;
    if (MsUntil([&] { return r.AnalyzerActive() == 1; }, 30000) < 0) {
        std::printf("the analyzer is not active\n");
        return 1;
    }
    // Each write must show in the readback: a noise cut-off above every
    // range comes back as the fader's maximum, and a gain rewrites the
    // gain's text. Gains alternate so that each one moves the scroll bar,
    // and end at 0.
    std::vector<double> times;
    for (int round = 0; round < 10; ++round) {
        // A write right after an adoption would always wait a whole tick:
        // the writes are spread over the tick's 100 ms.
        ::Sleep(static_cast<DWORD>(round * 37 % 100));
        double ms = 0;
        if (round % 2 == 0) {
            r.SetNoiseLevelValue(9999);
            ms = MsUntil([&] { return r.NoiseLevelValue() != 9999; }, 5000);
        } else {
            const std::string before = r.GainText();
            r.SetGain(static_cast<std::int8_t>(round % 4 == 1 ? 20 : 0));
            ms = MsUntil([&] { return r.GainText() != before; }, 5000);
        }
        std::printf("%s adopted in %.1f ms\n", round % 2 == 0 ? "NoiseLevelValue=9999" : "Gain", ms);
        if (ms < 0)
            return 1;
        times.push_back(ms);
    }
    std::sort(times.begin(), times.end());
    const double median = (times[4] + times[5]) / 2;
    std::printf("adoption: median %.1f ms, worst %.1f ms\n", median, times.back());
    // The refresh tick is 100 ms; a slow machine may delay a few ticks,
    // not most of them.
    if (median > 100) {
        std::printf("the median is above 100 ms\n");
        return 1;
    }

    // What the close must save. The gain goes last: once its text changed,
    // the tick that adopted it read the others after they were written.
    r.SetTrigDecay(9);
    r.SetTrigAggr(120);
    r.SetEqualizerBand(3, 64);
    r.SetNoiseLevelSwitch(1);
    r.SetNoiseLevelValue(100);
    const std::string before = r.GainText();
    r.SetGain(10);
    const double ms = MsUntil([&] { return r.GainText() != before && r.NoiseLevelValue() == 100; }, 5000);
    std::printf("settings adopted in %.1f ms; gain text \"%s\"\n", ms, r.GainText().c_str());
    return ms < 0 ? 1 : 0;
}

struct TBox {
    HWND Window = nullptr;
    std::string Text;
};

BOOL CALLBACK FindBox(HWND window, LPARAM param)
{
    auto& box = *reinterpret_cast<TBox*>(param);
    char className[64] = {};
    ::GetClassNameA(window, className, sizeof className);
    char text[1024] = {};
    // A message box's text is its static of id 0xFFFF.
    if (std::string(className) == "#32770" && ::GetDlgItemTextA(window, 0xFFFF, text, sizeof text) > 0 &&
        std::string(text).find(box.Text) != std::string::npos) {
        box.Window = window;
        box.Text = text;
        return FALSE;
    }
    return TRUE;
}

int Box(const std::string& text, int seconds)
{
    TBox box;
    const auto found = [&] {
        box = TBox{nullptr, text};
        ::EnumWindows(FindBox, reinterpret_cast<LPARAM>(&box));
        return box.Window != nullptr;
    };
    if (MsUntil(found, seconds * 1000) < 0) {
        std::printf("no message box with \"%s\"\n", text.c_str());
        return 1;
    }
    char caption[256] = {};
    ::GetWindowTextA(box.Window, caption, sizeof caption);
    std::printf("%s|%s\n", caption, box.Text.c_str());
    std::fflush(stdout);
    // Its one button: OK, which the box answers as IDOK.
    ::PostMessageA(box.Window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    return 0;
}

int Front(int seconds)
{
    const auto front = [] {
        HWND analyzer = ::FindWindowA(kAnalyzerWindowClass, nullptr);
        return analyzer != nullptr && !::IsIconic(analyzer) && ::GetForegroundWindow() == analyzer;
    };
    if (MsUntil(front, seconds * 1000) >= 0)
        return 0;
    HWND analyzer = ::FindWindowA(kAnalyzerWindowClass, nullptr);
    std::printf("the analyzer's window is %s\n",
                analyzer == nullptr ? "gone" : (::IsIconic(analyzer) ? "minimized" : "not in front"));
    return 1;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "adopt" && argc == 3)
        return Adopt(argv[2]);
    if (mode == "box" && argc == 4)
        return Box(argv[2], std::atoi(argv[3]));
    if (mode == "front" && argc == 3)
        return Front(std::atoi(argv[2]));
    std::fprintf(stderr, "usage: vx_winehost adopt SEGMENT | box TEXT SECONDS | front SECONDS\n");
    return 2;
}
