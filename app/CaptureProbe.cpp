#include "CaptureProbe.h"

#include "CaptureState.h"
#include "WaveInRing.h"

#include <algorithm>
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

bool ParseInteger(const char* text, long& value)
{
    char* end = nullptr;
    value = std::strtol(text, &end, 10);
    return end != text && *end == '\0';
}

bool ParseSeconds(const char* text, long& seconds)
{
    return ParseInteger(text, seconds) && seconds > 0;
}

int Usage(const char* program, const TProbeOptions& options)
{
    std::fprintf(stderr, options.ChooseDevice ? "usage: %s [--seconds N] [--device N|NAME]\n" : "usage: %s [--seconds N]\n",
                 program);
    return 2;
}

void PrintHelp(const char* program)
{
    std::printf("usage: %s [--seconds N] [--device N|NAME]\n"
                "Lists the sound inputs, opens one through the capture ring and prints once a\n"
                "second its name, the blocks received and the peak of the last second.\n"
                "  --seconds N       end after N lines (default: at Ctrl+C)\n"
                "  --device N|NAME   the input by number (-1: the default input) or by its\n"
                "                    name as listed (default: -1)\n"
                "  --help, --version show this text or the version and exit\n"
                "Exit status: 0 after a normal close, 1 when the input cannot be opened or\n"
                "started, 2 for a wrong command line.\n",
                program);
}

// The devices as the analyzer's chooser lists them: the default input,
// then devices 0..N-1.
void ListDevices(IWaveInDriver& driver)
{
    const auto n = static_cast<std::int32_t>(driver.GetNumDevs());
    for (std::int32_t d = -1; d < n; ++d)
        std::printf("device %d: %s\n", static_cast<int>(d), GetDeviceName(d).c_str());
    std::fflush(stdout);
}

// A number, or the name of a device (the numbered devices first); false
// when no device bears the name.
bool FindDevice(IWaveInDriver& driver, const std::string& text, std::int32_t& device)
{
    long number = 0;
    if (ParseInteger(text.c_str(), number)) {
        device = static_cast<std::int32_t>(number);
        return true;
    }
    const auto n = static_cast<std::int32_t>(driver.GetNumDevs());
    for (std::int32_t d = 0; d < n; ++d) {
        if (GetDeviceName(d) == text) {
            device = d;
            return true;
        }
    }
    if (GetDeviceName(-1) == text) {
        device = -1;
        return true;
    }
    return false;
}

}  // namespace

int RunCaptureProbe(int argc, char** argv, IWaveInDriver& driver, ICaptureUi& ui, const TProbeOptions& options)
{
    long seconds = 0;  // 0: until Ctrl+C
    const char* device = nullptr;
    for (int i = 1; i < argc; ++i) {
        const bool hasValue = i + 1 < argc;
        if (std::strcmp(argv[i], "--seconds") == 0 && hasValue && ParseSeconds(argv[i + 1], seconds)) {
            ++i;
        } else if (options.ChooseDevice && std::strcmp(argv[i], "--device") == 0 && hasValue) {
            device = argv[++i];
        } else if (options.ChooseDevice && std::strcmp(argv[i], "--help") == 0) {
            PrintHelp(argv[0]);
            return 0;
        } else if (options.ChooseDevice && std::strcmp(argv[i], "--version") == 0) {
            std::printf("vxsound-probe %s\n", VX_PROJECT_VERSION);
            return 0;
        } else {
            return Usage(argv[0], options);
        }
    }

    SetWaveInDriver(&driver);
    SetCaptureUi(&ui);

    DeviceId = -1;
    if (options.ChooseDevice) {
        ListDevices(driver);
        if (device != nullptr && !FindDevice(driver, device, DeviceId)) {
            std::fprintf(stderr, "%s: no input device is named \"%s\"\n", argv[0], device);
            SetCaptureUi(nullptr);
            SetWaveInDriver(nullptr);
            return 2;
        }
    }

    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);

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
