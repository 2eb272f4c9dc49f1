#include "CaptureState.h"
#include "CaptureTestSupport.h"
#include "FakeCapture.h"
#include "FileWaveDriver.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace {

using namespace std::chrono_literals;

std::int16_t Ramp(std::uint64_t frame)
{
    return static_cast<std::int16_t>(frame & 0x7FFF);
}

TEST(FileWaveDriverTest, ReturnsFullBlocksInQueueOrderOneAtATimeOnItsOwnThread)
{
    TFileWaveDriver driver{TFileWaveDriver::TGenerator(&Ramp)};
    TBlockClient client;
    ASSERT_EQ(client.Open(driver, -1), 0u);
    ASSERT_EQ(driver.Start(client.Handle), 0u);
    ASSERT_TRUE(WaitFor([&] { return client.Count.load() >= 60; }, 5s));

    // Stop re-queuing; Reset hands back what is still queued, before it
    // returns, and the handle can only close once the queue is empty.
    client.Requeue = false;
    EXPECT_EQ(driver.Reset(client.Handle), 0u);
    const int afterReset = client.Count.load();
    EXPECT_EQ(driver.Close(client.Handle), 0u);
    EXPECT_EQ(client.Count.load(), afterReset);

    EXPECT_TRUE(client.RanCleanly());
    // Nothing is dropped when paced by the callback: the input is contiguous.
    for (std::size_t k = 0; k + 1 < client.FirstSamples.size() && k < 50; ++k)
        EXPECT_EQ(client.FirstSamples[k], Ramp(k * 1024)) << k;
}

TEST(FileWaveDriverTest, FormatIsCheckedAndCloseWaitsForAnEmptyQueue)
{
    TFileWaveDriver driver(std::vector<std::int16_t>(100, 1));
    TWaveFormat stereo{kWaveFormatPcm, 2, 44100, 176400, 4, 16, 0};
    EXPECT_EQ(driver.Open(nullptr, -1, stereo, nullptr, 0, kWaveFormatQuery), kWaveErrBadFormat);
    TWaveFormat good{kWaveFormatPcm, 1, 44100, 88200, 2, 16, 0};
    EXPECT_EQ(driver.Open(nullptr, 1, good, nullptr, 0, kWaveFormatQuery), kMmSysErrBadDeviceId);
    EXPECT_EQ(driver.Open(nullptr, 0, good, nullptr, 0, kWaveFormatQuery), 0u);

    TBlockClient client;
    ASSERT_EQ(client.Open(driver, 0), 0u);
    EXPECT_EQ(driver.Close(client.Handle), kWaveErrStillPlaying);
    client.Requeue = false;
    EXPECT_EQ(driver.Reset(client.Handle), 0u);  // never started: returned unfilled
    EXPECT_EQ(client.Count.load(), TBlockClient::kBlocks);
    EXPECT_EQ(driver.Close(client.Handle), 0u);
    EXPECT_EQ(driver.Close(client.Handle), kMmSysErrInvalHandle);
}

TEST(FileWaveDriverTest, RealTimePacingKeepsTheClockAndDropsInputWithNoBlockQueued)
{
    TFileWaveOptions options;
    options.Pacing = EWavePacing::RealTime;
    TFileWaveDriver driver(TFileWaveDriver::TGenerator(&Ramp), options);
    TBlockClient client;
    ASSERT_EQ(client.Open(driver, -1), 0u);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(driver.Start(client.Handle), 0u);
    ASSERT_TRUE(WaitFor([&] { return client.Count.load() >= 10; }, 5s));
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_GE(elapsed, 10 * 23ms);

    client.Requeue = false;
    const int count = client.Count.load();
    ASSERT_TRUE(WaitFor([&] { return client.Count.load() >= count + 3; }, 2s));  // queue runs dry
    std::this_thread::sleep_for(150ms);  // about six blocks of input go nowhere
    const int dry = client.Count.load();
    client.Requeue = true;
    ASSERT_EQ(driver.AddBuffer(client.Handle, &client.Headers[0], sizeof(TWaveHeader)), 0u);
    ASSERT_TRUE(WaitFor([&] { return client.Count.load() > dry; }, 2s));
    client.Requeue = false;
    driver.Reset(client.Handle);
    EXPECT_EQ(driver.Close(client.Handle), 0u);

    const std::size_t n = static_cast<std::size_t>(dry);
    ASSERT_LT(n, client.FirstSamples.size());
    const auto jump = static_cast<std::uint16_t>(client.FirstSamples[n] - client.FirstSamples[n - 1]) & 0x7FFF;
    EXPECT_GE(jump, 4 * 1024);
}

TEST(FileWaveDriverTest, SoundFilesAreMixedToMonoPaddedAtTheEndOrLooped)
{
    const std::string path = TempPath("stereo.wav");
    ASSERT_TRUE(WriteWav(path, 44100, 2, 1500, [](long, int c) {
        return static_cast<std::int16_t>(c == 0 ? 1000 : 3000);
    }));

    auto once = TFileWaveDriver::FromFile(path);
    ASSERT_EQ(once->LoadResult(), 0u);
    std::string name;
    once->GetDevName(-1, name);
    EXPECT_EQ(name, path.substr(path.rfind('/') + 1).substr(0, kMaxDeviceNameLength));
    TBlockClient client;
    ASSERT_EQ(client.Open(*once, 0), 0u);
    ASSERT_EQ(once->Start(client.Handle), 0u);
    ASSERT_TRUE(once->WaitEndOfInput(5s));
    client.Requeue = false;
    once->Reset(client.Handle);
    EXPECT_EQ(once->Close(client.Handle), 0u);
    EXPECT_EQ(once->BlocksDelivered(), 2u);
    const unsigned char* last = client.Data[1];
    auto sampleAt = [&](int i) { return static_cast<std::int16_t>(last[2 * i] | (last[2 * i + 1] << 8)); };
    EXPECT_EQ(client.FirstSamples[0], 2000);
    EXPECT_EQ(sampleAt(1500 - 1024 - 1), 2000);
    EXPECT_EQ(sampleAt(1500 - 1024), 0);
    EXPECT_EQ(sampleAt(1023), 0);

    TFileWaveOptions loop;
    loop.AtEnd = EEndOfInput::Loop;
    auto looped = TFileWaveDriver::FromFile(path, loop);
    TBlockClient again;
    ASSERT_EQ(again.Open(*looped, 0), 0u);
    ASSERT_EQ(looped->Start(again.Handle), 0u);
    ASSERT_TRUE(WaitFor([&] { return again.Count.load() >= 5; }, 5s));
    again.Requeue = false;
    looped->Reset(again.Handle);
    looped->Close(again.Handle);
    EXPECT_FALSE(looped->EndOfInput());
    for (int k = 0; k < 5; ++k)
        EXPECT_EQ(again.FirstSamples[static_cast<std::size_t>(k)], 2000);
    std::remove(path.c_str());
}

TEST(FileWaveDriverTest, UnreadableOrWrongRateFilesAreRefusedWithACode)
{
    TWaveFormat good{kWaveFormatPcm, 1, 44100, 88200, 2, 16, 0};
    auto missing = TFileWaveDriver::FromFile("/nonexistent/none.wav");
    EXPECT_EQ(missing->LoadResult(), kMmSysErrBadDeviceId);
    EXPECT_EQ(missing->Open(nullptr, -1, good, nullptr, 0, kWaveFormatQuery), kMmSysErrBadDeviceId);
    EXPECT_NE(missing->LoadError().find("none.wav"), std::string::npos);

    const std::string path = TempPath("slow.wav");
    ASSERT_TRUE(WriteWav(path, 22050, 1, 100, [](long, int) { return std::int16_t{1}; }));
    auto slow = TFileWaveDriver::FromFile(path);
    EXPECT_EQ(slow->Open(nullptr, -1, good, nullptr, 0, kWaveFormatQuery), kWaveErrBadFormat);
    EXPECT_NE(slow->LoadError().find("22050"), std::string::npos);
    std::remove(path.c_str());
}

}  // namespace
