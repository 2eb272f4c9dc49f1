// The generated-signal device the window tests and the click track run
// on: blocks at the pace of real time, on its own thread.
#include "FakeCapture.h"
#include "SignalWaveDriver.h"

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;

std::int16_t Ramp(std::uint64_t frame)
{
    return static_cast<std::int16_t>(frame & 0x7FFF);
}

TEST(SignalWaveDriverTest, BlocksComeInRealTimeAndInputWithNoBlockQueuedIsDropped)
{
    std::atomic<std::uint64_t> produced{0};
    TSignalWaveDriver driver(
        [&](std::uint64_t frame) {
            produced.store(frame);
            return Ramp(frame);
        });
    const TWaveFormat good{kWaveFormatPcm, 1, 44100, 88200, 2, 16, 0};
    const TWaveFormat stereo{kWaveFormatPcm, 2, 44100, 176400, 4, 16, 0};
    EXPECT_EQ(driver.Open(nullptr, -1, stereo, nullptr, 0, kWaveFormatQuery), kWaveErrBadFormat);
    EXPECT_EQ(driver.Open(nullptr, 1, good, nullptr, 0, kWaveFormatQuery), kMmSysErrBadDeviceId);
    EXPECT_EQ(driver.Open(nullptr, 0, good, nullptr, 0, kWaveFormatQuery), 0u);

    TBlockClient client;
    ASSERT_EQ(client.Open(driver, -1), 0u);
    EXPECT_EQ(driver.Close(client.Handle), kWaveErrStillPlaying);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(driver.Start(client.Handle), 0u);
    ASSERT_TRUE(WaitFor([&] { return client.Count.load() >= 10; }, 5s));
    EXPECT_GE(std::chrono::steady_clock::now() - start, 10 * 23ms);

    // Stop re-queuing until the queue has run dry and five blocks of input
    // have gone nowhere, then queue the blocks again.
    client.Requeue = false;
    const int count = client.Count.load();
    ASSERT_TRUE(WaitFor([&] { return client.Count.load() >= count + 3; }, 2s));
    const std::uint64_t dryAt = produced.load();
    ASSERT_TRUE(WaitFor([&] { return produced.load() >= dryAt + 5 * 1024; }, 2s));
    const auto dry = static_cast<std::size_t>(client.Count.load());
    client.Requeue = true;
    for (std::size_t i = dry; i < dry + TBlockClient::kBlocks; ++i)
        ASSERT_EQ(driver.AddBuffer(client.Handle, &client.Headers[i % 3], sizeof(TWaveHeader)), 0u);
    ASSERT_TRUE(WaitFor([&] { return client.Count.load() > static_cast<int>(dry); }, 2s));

    // Reset hands back what is still queued before it returns.
    client.Requeue = false;
    EXPECT_EQ(driver.Reset(client.Handle), 0u);
    const int afterReset = client.Count.load();
    EXPECT_EQ(driver.Close(client.Handle), 0u);
    EXPECT_EQ(driver.Close(client.Handle), kMmSysErrInvalHandle);
    EXPECT_EQ(client.Count.load(), afterReset);

    EXPECT_FALSE(client.Broken);
    for (std::size_t k = 0; k < dry; ++k)
        EXPECT_EQ(client.FirstSamples[k], Ramp(k * 1024)) << k;
    ASSERT_LT(dry, client.FirstSamples.size());
    const auto jump = static_cast<std::uint16_t>(client.FirstSamples[dry] - client.FirstSamples[dry - 1]) & 0x7FFF;
    EXPECT_GE(jump, 5 * 1024);
}

}  // namespace
