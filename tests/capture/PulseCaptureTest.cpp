// Capture from a real sound server: a private one with a null sink whose
// monitor is the default source (VX_TEST_SINK names the sink).
#include "CaptureState.h"
#include "FakeCapture.h"
#include "PulseWaveDriver.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "ChildProcess.h"

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

TEST_F(PulseCaptureTest, DevicesAreTheSourcesAndBlocksComeFullInQueueOrderOnTheDriverThread)
{
    TPulseWaveDriver driver;
    const std::uint32_t n = driver.GetNumDevs();
    int monitor = -1;
    for (std::uint32_t d = 0; d < n; ++d)
        if (driver.SourceName(static_cast<std::int32_t>(d)) == TestSink() + ".monitor")
            monitor = static_cast<int>(d);
    ASSERT_GE(monitor, 0) << "the sink's monitor is not among the " << n << " devices";
    EXPECT_EQ(driver.SourceName(-1), TestSink() + ".monitor");  // -1: the default source
    std::string byNumber, byDefault, none = "x";
    EXPECT_EQ(driver.GetDevName(monitor, byNumber), 0u);
    EXPECT_EQ(driver.GetDevName(-1, byDefault), 0u);
    EXPECT_FALSE(byDefault.empty());
    EXPECT_EQ(byDefault, byNumber);
    EXPECT_LE(byDefault.size(), kMaxDeviceNameLength);
    EXPECT_EQ(driver.GetDevName(static_cast<std::int32_t>(n), none), kMmSysErrBadDeviceId);
    EXPECT_TRUE(none.empty());

    const TWaveFormat good{kWaveFormatPcm, 1, 44100, 88200, 2, 16, 0};
    const TWaveFormat rate{kWaveFormatPcm, 1, 48000, 96000, 2, 16, 0};
    const struct {
        std::int32_t device;
        const TWaveFormat& format;
        WaveResult result;
    } queries[] = {
        {-1, good, 0},
        {-1, rate, kWaveErrBadFormat},
        {static_cast<std::int32_t>(n), good, kMmSysErrBadDeviceId},
        {-2, good, kMmSysErrBadDeviceId},
    };
    for (const auto& q : queries)
        EXPECT_EQ(driver.Open(nullptr, q.device, q.format, nullptr, 0, kWaveFormatQuery), q.result) << q.device;

    TBlockClient client, second;
    ASSERT_EQ(client.Open(driver, -1), 0u);
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

TEST_F(PulseCaptureTest, ToneIntoTheSinkArrivesInSampleBlock)
{
    const std::string path = TempPath("tone.wav");
    ASSERT_TRUE(WriteWav(path, 44100, 2, 44100 * 4, [&](long i, int) {
        return static_cast<std::int16_t>(std::lround(16000.0 * std::sin(2 * M_PI * 1000.0 * i / 44100.0)));
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
            if (BlocksReceived.load() == seen)
                continue;
            seen = BlocksReceived.load();
            // 1000 Hz: 46.4 sign changes a block; amplitude 16000: RMS 11314.
            double sum = 0;
            int crossings = 0, previous = SampleBlock[0].load(std::memory_order_relaxed);
            for (int i = 0; i < kSamplesPerBlock; ++i) {
                const int v = SampleBlock[i].load(std::memory_order_relaxed);
                sum += static_cast<double>(v) * v;
                crossings += (v >= 0) != (previous >= 0) ? 1 : 0;
                previous = v;
            }
            const double rms = std::sqrt(sum / kSamplesPerBlock);
            if (rms > 11000 && rms < 11650 && crossings >= 44 && crossings <= 49)
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
