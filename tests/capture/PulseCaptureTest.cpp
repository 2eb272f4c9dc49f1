// The sound-server driver against a private server with a null sink whose
// monitor is the default source. The device list and names are the device
// choice tests'; the whole path from a player into the record is the
// bridge's end-to-end test.
#include "FakeCapture.h"
#include "PulseWaveDriver.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

using namespace std::chrono_literals;

TEST(PulseCaptureTest, BlocksComeFullInQueueOrderOnTheDriverThreadAndResetReturnsThem)
{
    if (std::getenv("VX_TEST_SINK") == nullptr || std::system("pactl info >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "no private sound server (VX_TEST_SINK unset or no server answers)";
    TPulseWaveDriver driver;
    const auto n = static_cast<std::int32_t>(driver.GetNumDevs());
    const TWaveFormat good{kWaveFormatPcm, 1, 44100, 88200, 2, 16, 0};
    EXPECT_EQ(driver.Open(nullptr, -1, good, nullptr, 0, kWaveFormatQuery), 0u);
    for (std::int32_t device : {n, -2})
        EXPECT_EQ(driver.Open(nullptr, device, good, nullptr, 0, kWaveFormatQuery), kMmSysErrBadDeviceId) << device;

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
    EXPECT_FALSE(client.Broken);
}

}  // namespace
