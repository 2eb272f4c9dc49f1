// The capture ring over the system's wave input, on the private sound
// server's null-sink monitor ("Monitor of Null Output" under Wine's driver)
// while winmm-tone.sh plays a 440 Hz tone into the sink. A driver wrapper
// checks every callback against what the ring relies on.
#include "AnalysisFixture.h"
#include "WaveInRing.h"
#include "WinConsoleCaptureUi.h"
#include "WinmmWaveDriver.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr const char* kMonitor = "Monitor of Null Output";
// The tone's peak: sox's "vol 0.366" of full scale.
constexpr int kTonePeak = 11993;

bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout)
{
    const auto until = Clock::now() + timeout;
    while (!done()) {
        if (Clock::now() > until)
            return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

// Forwards to the real driver and checks each callback: the ring's blocks
// in ring order, full, one at a time, never on the opening thread; and
// none after a reset has returned.
class TCheckingDriver final : public IWaveInDriver {
public:
    std::uint32_t GetNumDevs() override { return real.GetNumDevs(); }
    WaveResult GetDevName(std::int32_t device, std::string& name) override { return real.GetDevName(device, name); }
    WaveResult Open(THWaveIn* handle, std::int32_t device, const TWaveFormat& format, TWaveInProc callback,
                    std::uintptr_t instance, std::uint32_t flags) override
    {
        if ((flags & kWaveFormatQuery) != 0)
            return real.Open(handle, device, format, callback, instance, flags);
        ringProc = callback;
        expected = 0;
        resetDone = false;
        const WaveResult r = real.Open(handle, device, format, &Proc, reinterpret_cast<std::uintptr_t>(this), flags);
        Handle = r == 0 ? *handle : 0;
        return r;
    }
    WaveResult PrepareHeader(THWaveIn h, TWaveHeader* header, std::uint32_t size) override
    {
        return real.PrepareHeader(h, header, size);
    }
    WaveResult UnprepareHeader(THWaveIn h, TWaveHeader* header, std::uint32_t size) override
    {
        return real.UnprepareHeader(h, header, size);
    }
    WaveResult AddBuffer(THWaveIn h, TWaveHeader* header, std::uint32_t size) override
    {
        return real.AddBuffer(h, header, size);
    }
    WaveResult Start(THWaveIn h) override { return real.Start(h); }
    WaveResult Reset(THWaveIn h) override
    {
        const WaveResult r = real.Reset(h);
        if (inCallback.load() != 0)
            Broken("a callback still runs after the reset returned");
        resetDone = true;
        return r;
    }
    WaveResult Close(THWaveIn h) override { return real.Close(h); }

    void Broken(const std::string& what)
    {
        std::lock_guard<std::mutex> guard(lock);
        faults.push_back(what);
    }
    std::vector<std::string> Faults()
    {
        std::lock_guard<std::mutex> guard(lock);
        return faults;
    }

    TWinmmWaveDriver real;
    THWaveIn Handle = 0;
    std::atomic<int> Calls{0};
    // Times of the blocks taken while recording, for the rate; an entry
    // below timeCount is written.
    Clock::time_point times[4096];
    std::atomic<int> timeCount{0};
    std::thread::id uiThread = std::this_thread::get_id();

private:
    static void Proc(THWaveIn h, std::uint32_t message, std::uintptr_t instance, std::uintptr_t p1, std::uintptr_t p2)
    {
        auto* self = reinterpret_cast<TCheckingDriver*>(instance);
        const auto* header = reinterpret_cast<const TWaveHeader*>(p1);
        if (self->inCallback.fetch_add(1) != 0)
            self->Broken("two callbacks at once");
        if (std::this_thread::get_id() == self->uiThread)
            self->Broken("a callback on the opening thread");
        if (self->resetDone)
            self->Broken("a callback after the reset");
        const int block = RingBlockIndex(header);
        if (block != self->expected)
            self->Broken("block " + std::to_string(block) + " came for " + std::to_string(self->expected));
        const bool recording = Recording.load() == 1;
        if (recording && header->BytesRecorded != kBlockBytes)
            self->Broken("a short block: " + std::to_string(header->BytesRecorded));
        self->expected = (self->expected + 1) % kRingBlocks;
        if (recording && self->timeCount.load() < 4096) {
            self->times[self->timeCount.load()] = Clock::now();
            self->timeCount.fetch_add(1);
        }
        self->ringProc(h, message, 0, p1, p2);
        self->Calls.fetch_add(1);
        self->inCallback.fetch_sub(1);
    }

    TWaveInProc ringProc = nullptr;
    int expected = 0;
    std::atomic<bool> resetDone{false};
    std::atomic<int> inCallback{0};
    std::mutex lock;
    std::vector<std::string> faults;
};

class TRecordingUi final : public ICaptureUi {
public:
    void ShowError(const std::string& text) override
    {
        std::lock_guard<std::mutex> guard(lock);
        errors.push_back(text);
    }
    void ShowInfo(const std::string& text) override
    {
        std::lock_guard<std::mutex> guard(lock);
        errors.push_back("info: " + text);
    }
    void PostInfo(const std::string& text) override
    {
        std::lock_guard<std::mutex> guard(lock);
        errors.push_back("posted: " + text);
    }
    void ProcessMessages() override { pump.ProcessMessages(); }
    [[noreturn]] void EndProgram() override { throw std::runtime_error("EndProgram"); }
    bool Has(const std::string& text)
    {
        std::lock_guard<std::mutex> guard(lock);
        return std::find(errors.begin(), errors.end(), text) != errors.end();
    }

    std::vector<std::string> errors;
    std::mutex lock;
    TWinConsoleCaptureUi pump;
};

std::atomic<int> g_timerCalls{0};

void CALLBACK OnTimer(HWND, UINT, UINT_PTR, DWORD)
{
    g_timerCalls.fetch_add(1);
}

class WinmmCaptureTest : public AnalysisTest {
protected:
    void SetUp() override
    {
        AnalysisTest::SetUp();
        VxPlatform::SetTickClock(nullptr);  // the drain's real millisecond clock
        Recording.store(0);
        DeviceHandlePresent.store(false);
        SetWaveInDriver(&driver);
        SetCaptureUi(&ui);
    }
    void TearDown() override
    {
        CloseWaveIn();
        SetCaptureUi(nullptr);
        SetWaveInDriver(nullptr);
        AnalysisTest::TearDown();
    }

    // Opens and starts the device, and waits for `blocks` more blocks.
    void Record(std::int32_t device, unsigned blocks)
    {
        DeviceId = device;
        const unsigned before = BlocksReceived.load();
        OpenWaveIn();
        EXPECT_EQ(DeviceName, kMonitor);
        StartWaveIn();
        EXPECT_TRUE(WaitFor([&] { return BlocksReceived.load() - before >= blocks; }, 20s))
            << BlocksReceived.load() - before << " blocks";
    }

    TCheckingDriver driver;
    TRecordingUi ui;
};

// The sound server drops the sink whose monitor is recording (the script
// unloads it once the test says "started" in VX_GONE_DIR and answers with
// "gone"): the close still releases the blocks and gives the device up.
TEST_F(WinmmCaptureTest, DeviceThatGoesAwayIsGivenUpAtTheClose)
{
    const char* name = std::getenv("VX_GONE_DEVICE");
    const char* dir = std::getenv("VX_GONE_DIR");
    if (name == nullptr || dir == nullptr)
        GTEST_SKIP() << "run by winmm-tone.sh, which takes the device away";
    DeviceId = -2;
    const auto n = static_cast<std::int32_t>(driver.GetNumDevs());
    for (std::int32_t d = 0; d < n && DeviceId < -1; ++d)
        if (GetDeviceName(d) == name)
            DeviceId = d;
    ASSERT_GE(DeviceId, 0) << "no input device \"" << name << "\"";
    OpenWaveIn();
    StartWaveIn();
    std::ofstream(std::filesystem::path(dir) / "started").put('1');
    ASSERT_TRUE(WaitFor([&] { return std::filesystem::exists(std::filesystem::path(dir) / "gone"); }, 30s));
    // The user learns that the capture stopped.
    const std::string lost = "posted: Sound input lost (the device delivers nothing); capture has stopped. "
                             "Choose the sound card again to restart it.";
    EXPECT_TRUE(WaitFor([&] { return ui.Has(lost); }, 15s));

    const auto start = Clock::now();
    CloseWaveIn();
    EXPECT_LT(Clock::now() - start, 6000ms);
    EXPECT_FALSE(WaveInOpen());
    // Besides, the reset's failure is all the user hears of it: no release
    // or close failure per block.
    for (const std::string& e : ui.errors)
        EXPECT_TRUE(e == lost || e == "Could not reset wave in") << e;
    const auto faults = driver.Faults();
    EXPECT_TRUE(faults.empty()) << faults.size() << " faults, first: " << faults.front();
}

TEST_F(WinmmCaptureTest, ToneThroughTheRingInOrderWithItsPeakThenDrainCloseAndReopen)
{
    std::int32_t monitor = -2;
    const auto n = static_cast<std::int32_t>(driver.GetNumDevs());
    for (std::int32_t d = 0; d < n && monitor < -1; ++d)
        if (GetDeviceName(d) == kMonitor)
            monitor = d;
    if (monitor < -1)
        GTEST_SKIP() << "no input device \"" << kMonitor << "\" (no private sound server with a null sink)";

    Record(monitor, 90);
    EXPECT_NEAR(PeakHold.load(), kTonePeak, kTonePeak / 100);
    // Blocks of 1024 samples at 44100 Hz: 43 a second in real time.
    const int last = driver.timeCount.load() - 1;
    ASSERT_GE(last, 60);
    const double seconds = std::chrono::duration<double>(driver.times[last] - driver.times[last - 60]).count();
    const double rate = 60.0 / seconds;
    std::printf("blocks per second over the last 60: %.1f\n", rate);
    EXPECT_GT(rate, 30.0);
    EXPECT_LT(rate, 60.0);

    // A close with blocks queued keeps the device, and the capture goes on.
    EXPECT_EQ(driver.real.Close(driver.Handle), kWaveErrStillPlaying);
    const unsigned afterRefusal = BlocksReceived.load();
    EXPECT_TRUE(WaitFor([&] { return BlocksReceived.load() > afterRefusal + 5; }, 5s));

    // The drain serves the thread's messages (a thread timer here) while
    // the 24 queued blocks come back; then the device is reset and closed.
    const UINT_PTR timer = SetTimer(nullptr, 0, 10, &OnTimer);
    ASSERT_NE(timer, 0u);
    g_timerCalls = 0;
    const int callsBefore = driver.Calls.load();
    const auto start = Clock::now();
    CloseWaveIn();
    const auto drain = Clock::now() - start;
    KillTimer(nullptr, timer);
    EXPECT_GE(drain, 1000ms);
    EXPECT_LT(drain, 3000ms);
    EXPECT_GT(g_timerCalls.load(), 10);
    EXPECT_GE(driver.Calls.load() - callsBefore, kRingBlocks - 1);
    EXPECT_FALSE(WaveInOpen());
    EXPECT_FALSE(DeviceHandlePresent.load());

    // The device was given back: the switch to it again records at once.
    Record(monitor, 20);
    CloseWaveIn();
    EXPECT_FALSE(WaveInOpen());
    EXPECT_TRUE(ui.errors.empty()) << ui.errors.front();
    const auto faults = driver.Faults();
    EXPECT_TRUE(faults.empty()) << faults.size() << " faults, first: " << faults.front();
}

}  // namespace
