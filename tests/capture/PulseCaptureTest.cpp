// Capture from a real sound server: a private one with a null sink whose
// monitor is the default source (VX_TEST_SINK names the sink).
#include "CaptureState.h"
#include "FakeCapture.h"
#include "PulseWaveDriver.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "ChildProcess.h"
#include "SoundFiles.h"

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

// The device list and names are the window's device choice tests.
TEST_F(PulseCaptureTest, BlocksComeFullInQueueOrderOnTheDriverThreadAndResetReturnsThem)
{
    TPulseWaveDriver driver;
    const auto n = static_cast<std::int32_t>(driver.GetNumDevs());
    const TWaveFormat good{kWaveFormatPcm, 1, 44100, 88200, 2, 16, 0};
    const TWaveFormat rate{kWaveFormatPcm, 1, 48000, 96000, 2, 16, 0};
    const struct {
        std::int32_t device;
        const TWaveFormat& format;
        WaveResult result;
    } queries[] = {
        {-1, good, 0},
        {-1, rate, kWaveErrBadFormat},
        {n, good, kMmSysErrBadDeviceId},
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
    const auto path = TestFilePath("tone.wav");
    std::vector<std::int16_t> tone(44100 * 4);
    for (std::size_t i = 0; i < tone.size(); ++i)
        tone[i] = static_cast<std::int16_t>(std::lround(16000.0 * std::sin(2 * M_PI * 1000.0 * i / 44100.0)));
    WriteSoundFile(path, tone, 1, 44100);

    TPulseWaveDriver driver;
    TFakeUi ui;
    SetWaveInDriver(&driver);
    SetCaptureUi(&ui);
    DeviceId = -1;
    OpenWaveIn();
    StartWaveIn();

    int toneBlocks = 0;
    {
        TChild player;  // stopped when the block ends
        ASSERT_TRUE(player.Start({"paplay", "--device=" + TestSink(), path.string()}));
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
    std::filesystem::remove(path);

    EXPECT_GE(toneBlocks, 10);
    EXPECT_TRUE(ui.Errors.empty()) << ui.Errors.front();
    EXPECT_TRUE(ui.Posted.empty()) << ui.Posted.front();
    EXPECT_FALSE(DeviceHandlePresent.load());
}

}  // namespace
