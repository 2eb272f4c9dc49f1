// Console probe: opens the default sound input through the capture ring and
// prints once a second the device name, the blocks received and the peak.
// Ends on Ctrl+C (or after --seconds N) through the normal close.
#include "CaptureState.h"
#include "ConsoleCaptureUi.h"
#include "PulseWaveDriver.h"
#include "WaveInRing.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

namespace {

volatile std::sig_atomic_t g_stop = 0;

void OnSignal(int)
{
    g_stop = 1;
}

int BlockPeak()
{
    int peak = 0;
    for (const auto& s : SampleBlock) {
        const int v = s.load(std::memory_order_relaxed);
        peak = std::max(peak, v < 0 ? -v : v);
    }
    return peak;
}

bool ParseSeconds(const char* text, long& seconds)
{
    char* end = nullptr;
    seconds = std::strtol(text, &end, 10);
    return end != text && *end == '\0' && seconds > 0;
}

}  // namespace

int main(int argc, char** argv)
{
    long seconds = 0;  // 0: until Ctrl+C
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc && ParseSeconds(argv[i + 1], seconds)) {
            ++i;
        } else {
            std::fprintf(stderr, "usage: %s [--seconds N]\n", argv[0]);
            return 2;
        }
    }

    TPulseWaveDriver driver;
    TConsoleCaptureUi ui;
    SetWaveInDriver(&driver);
    SetCaptureUi(&ui);

    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);

    DeviceId = -1;
    OpenWaveIn();
    StartWaveIn();

    using Clock = std::chrono::steady_clock;
    auto nextLine = Clock::now() + std::chrono::seconds(1);
    int peak = 0;
    long lines = 0;
    while (g_stop == 0 && (seconds == 0 || lines < seconds)) {
        ui.ProcessMessages();
        // Sampling faster than one block (23 ms) sees nearly every block.
        peak = std::max(peak, BlockPeak());
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (Clock::now() >= nextLine) {
            std::printf("%s | blocks %u | peak %d\n", DeviceName.c_str(),
                        BlocksReceived.load(std::memory_order_relaxed), peak);
            std::fflush(stdout);
            peak = 0;
            ++lines;
            nextLine += std::chrono::seconds(1);
        }
    }

    CloseWaveIn();
    SetCaptureUi(nullptr);
    SetWaveInDriver(nullptr);
    return 0;
}
