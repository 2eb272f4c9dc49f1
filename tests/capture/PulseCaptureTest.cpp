// Capture from a real sound server: a private one with a null sink whose
// monitor is the default source (VX_TEST_SINK names the sink).
#include "CaptureState.h"
#include "CaptureTestSupport.h"
#include "FakeCapture.h"
#include "PulseWaveDriver.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "ChildProcess.h"

// The sound server's client library synchronises with atomics that the
// thread sanitizer cannot see (it is not instrumented).
extern "C" const char* __tsan_default_suppressions()
{
    return "race:libpulsecommon\nrace:libpulse.so\n";
}

namespace {

using namespace std::chrono_literals;

std::string TestSink()
{
    const char* sink = std::getenv("VX_TEST_SINK");
    return sink != nullptr ? sink : "";
}

class PulseCaptureTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (TestSink().empty() || std::system("pactl info >/dev/null 2>&1") != 0)
            GTEST_SKIP() << "no private sound server (VX_TEST_SINK unset or no server answers)";
    }
};

TEST_F(PulseCaptureTest, DeviceListHoldsTheMonitorAndMinusOneIsTheDefaultSource)
{
    TPulseWaveDriver driver;
    const std::uint32_t n = driver.GetNumDevs();
    ASSERT_GT(n, 0u);
    int monitor = -1;
    for (std::uint32_t d = 0; d < n; ++d)
        if (driver.SourceName(static_cast<std::int32_t>(d)) == TestSink() + ".monitor")
            monitor = static_cast<int>(d);
    ASSERT_GE(monitor, 0) << "the sink's monitor is not among the devices";
    EXPECT_EQ(driver.SourceName(-1), TestSink() + ".monitor");

    std::string byNumber, byDefault;
    EXPECT_EQ(driver.GetDevName(monitor, byNumber), 0u);
    EXPECT_EQ(driver.GetDevName(-1, byDefault), 0u);
    EXPECT_FALSE(byDefault.empty());
    EXPECT_EQ(byDefault, byNumber);
    EXPECT_LE(byDefault.size(), kMaxDeviceNameLength);

    std::string none = "x";
    EXPECT_EQ(driver.GetDevName(static_cast<std::int32_t>(n), none), kMmSysErrBadDeviceId);
    EXPECT_TRUE(none.empty());
    TWaveFormat good{kWaveFormatPcm, 1, 44100, 88200, 2, 16, 0};
    TWaveFormat rate{kWaveFormatPcm, 1, 48000, 96000, 2, 16, 0};
    EXPECT_EQ(driver.Open(nullptr, -1, good, nullptr, 0, kWaveFormatQuery), 0u);
    EXPECT_EQ(driver.Open(nullptr, -1, rate, nullptr, 0, kWaveFormatQuery), kWaveErrBadFormat);
    EXPECT_EQ(driver.Open(nullptr, static_cast<std::int32_t>(n), good, nullptr, 0,
                          kWaveFormatQuery),
              kMmSysErrBadDeviceId);
    EXPECT_EQ(driver.Open(nullptr, -2, good, nullptr, 0, kWaveFormatQuery), kMmSysErrBadDeviceId);
}

TEST_F(PulseCaptureTest, BlocksComeFullInQueueOrderOnTheDriverThreadAndResetReturnsThem)
{
    TPulseWaveDriver driver;
    TBlockClient client;
    ASSERT_EQ(client.Open(driver, -1), 0u);
    TBlockClient second;
    EXPECT_EQ(second.Open(driver, -1), kMmSysErrAllocated);
    ASSERT_EQ(driver.Start(client.Handle), 0u);
    // The null sink's monitor runs in real time, silent or not.
    ASSERT_TRUE(WaitFor([&] { return client.Count.load() >= 20; }, 10s));
    EXPECT_EQ(driver.Close(client.Handle), kWaveErrStillPlaying);

    client.Requeue = false;
    EXPECT_EQ(driver.Reset(client.Handle), 0u);
    const int afterReset = client.Count.load();
    EXPECT_EQ(driver.Close(client.Handle), 0u);
    EXPECT_EQ(client.Count.load(), afterReset);
    EXPECT_TRUE(client.RanCleanly());
}

struct TBlockStats {
    double Rms = 0;
    int Crossings = 0;
};

TBlockStats SnapshotStats()
{
    TBlockStats s;
    double sum = 0;
    int previous = SampleBlock[0].load(std::memory_order_relaxed);
    for (int i = 0; i < kSamplesPerBlock; ++i) {
        const int v = SampleBlock[i].load(std::memory_order_relaxed);
        sum += static_cast<double>(v) * v;
        if ((v >= 0) != (previous >= 0))
            ++s.Crossings;
        previous = v;
    }
    s.Rms = std::sqrt(sum / kSamplesPerBlock);
    return s;
}

TEST_F(PulseCaptureTest, ToneIntoTheSinkArrivesInSampleBlock)
{
    const std::string path = TempPath("tone.wav");
    constexpr double kPi = 3.14159265358979323846;
    ASSERT_TRUE(WriteWav(path, 44100, 2, 44100 * 4, [&](long i, int) {
        return static_cast<std::int16_t>(std::lround(16000.0 * std::sin(2 * kPi * 1000.0 * i / 44100.0)));
    }));

    TPulseWaveDriver driver;
    TFakeUi ui;
    SetWaveInDriver(&driver);
    SetCaptureUi(&ui);
    DeviceId = -1;
    OpenWaveIn();
    StartWaveIn();
    std::string defaultName;
    driver.GetDevName(-1, defaultName);
    EXPECT_EQ(DeviceName, defaultName);

    int toneBlocks = 0;
    {
        TChild player;  // stopped when the block ends
        ASSERT_TRUE(player.Start({"paplay", "--device=" + TestSink(), path}));
        std::uint32_t seen = BlocksReceived.load();
        const auto until = std::chrono::steady_clock::now() + 8s;
        while (toneBlocks < 10 && std::chrono::steady_clock::now() < until) {
            std::this_thread::sleep_for(3ms);
            const std::uint32_t now = BlocksReceived.load();
            if (now == seen)
                continue;
            seen = now;
            // 1000 Hz: 46.4 sign changes a block; amplitude 16000: RMS 11314.
            const TBlockStats s = SnapshotStats();
            if (s.Rms > 11000 && s.Rms < 11650 && s.Crossings >= 44 && s.Crossings <= 49)
                ++toneBlocks;
        }
    }
    CloseWaveIn();
    SetCaptureUi(nullptr);
    SetWaveInDriver(nullptr);
    std::remove(path.c_str());

    EXPECT_GE(toneBlocks, 10);
    EXPECT_TRUE(ui.Errors.empty()) << ui.Errors.front();
    EXPECT_TRUE(ui.Posted.empty()) << ui.Posted.front();
    EXPECT_FALSE(DeviceHandlePresent.load());
}

}  // namespace
