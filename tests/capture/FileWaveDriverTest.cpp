#include "FakeCapture.h"
#include "FileWaveDriver.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace {

using namespace std::chrono_literals;

const TWaveFormat kCaptureFormat{kWaveFormatPcm, 1, 44100, 88200, 2, 16, 0};

std::int16_t Ramp(std::uint64_t frame)
{
    return static_cast<std::int16_t>(frame & 0x7FFF);
}

TEST(FileWaveDriverTest, PacedByTheCallbackItDropsNothingAndCloseWaitsForAnEmptyQueue)
{
    TFileWaveDriver driver{TFileWaveDriver::TGenerator(&Ramp)};
    const TWaveFormat stereo{kWaveFormatPcm, 2, 44100, 176400, 4, 16, 0};
    EXPECT_EQ(driver.Open(nullptr, -1, stereo, nullptr, 0, kWaveFormatQuery), kWaveErrBadFormat);
    EXPECT_EQ(driver.Open(nullptr, 1, kCaptureFormat, nullptr, 0, kWaveFormatQuery), kMmSysErrBadDeviceId);
    EXPECT_EQ(driver.Open(nullptr, 0, kCaptureFormat, nullptr, 0, kWaveFormatQuery), 0u);

    TBlockClient client;
    ASSERT_EQ(client.Open(driver, -1), 0u);
    EXPECT_EQ(driver.Close(client.Handle), kWaveErrStillPlaying);
    ASSERT_EQ(driver.Start(client.Handle), 0u);
    ASSERT_TRUE(WaitFor([&] { return client.Count.load() >= 60; }, 5s));

    // Reset hands back what is still queued before it returns.
    client.Requeue = false;
    EXPECT_EQ(driver.Reset(client.Handle), 0u);
    const int afterReset = client.Count.load();
    EXPECT_EQ(driver.Close(client.Handle), 0u);
    EXPECT_EQ(driver.Close(client.Handle), kMmSysErrInvalHandle);
    EXPECT_EQ(client.Count.load(), afterReset);

    EXPECT_TRUE(client.RanCleanly());
    for (std::size_t k = 0; k < 50; ++k)
        EXPECT_EQ(client.FirstSamples[k], Ramp(k * 1024)) << k;
}

TEST(FileWaveDriverTest, RealTimePacingKeepsTheClockAndDropsInputWithNoBlockQueued)
{
    TFileWaveOptions options;
    options.Pacing = EWavePacing::RealTime;
    std::atomic<std::uint64_t> produced{0};
    TFileWaveDriver driver(
        [&](std::uint64_t frame) {
            produced.store(frame);
            return Ramp(frame);
        },
        options);
    TBlockClient client;
    ASSERT_EQ(client.Open(driver, -1), 0u);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(driver.Start(client.Handle), 0u);
    ASSERT_TRUE(WaitFor([&] { return client.Count.load() >= 10; }, 5s));
    EXPECT_GE(std::chrono::steady_clock::now() - start, 10 * 23ms);

    client.Requeue = false;
    const int count = client.Count.load();
    ASSERT_TRUE(WaitFor([&] { return client.Count.load() >= count + 3; }, 2s));  // the queue runs dry
    const std::uint64_t dryAt = produced.load();
    ASSERT_TRUE(WaitFor([&] { return produced.load() >= dryAt + 5 * 1024; }, 2s));  // input goes nowhere
    const int dry = client.Count.load();
    client.Requeue = true;
    ASSERT_EQ(driver.AddBuffer(client.Handle, &client.Headers[0], sizeof(TWaveHeader)), 0u);
    ASSERT_TRUE(WaitFor([&] { return client.Count.load() > dry; }, 2s));
    client.Requeue = false;
    driver.Reset(client.Handle);
    EXPECT_EQ(driver.Close(client.Handle), 0u);

    const auto n = static_cast<std::size_t>(dry);
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
    EXPECT_EQ(name, CutDeviceName(path.substr(path.rfind('/') + 1)));
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
    for (std::size_t k = 0; k < 5; ++k)
        EXPECT_EQ(again.FirstSamples[k], 2000);
    std::remove(path.c_str());
}

TEST(FileWaveDriverTest, UnreadableOrWrongRateFilesAreRefusedWithACode)
{
    const std::string slowPath = TempPath("slow.wav");
    ASSERT_TRUE(WriteWav(slowPath, 22050, 1, 100, [](long, int) { return std::int16_t{1}; }));
    const struct {
        std::string path, why;
        WaveResult code;
    } cases[] = {
        {"/nonexistent/none.wav", "none.wav", kMmSysErrBadDeviceId},
        {slowPath, "22050", kWaveErrBadFormat},
    };
    for (const auto& c : cases) {
        auto driver = TFileWaveDriver::FromFile(c.path);
        EXPECT_EQ(driver->LoadResult(), c.code);
        EXPECT_EQ(driver->Open(nullptr, -1, kCaptureFormat, nullptr, 0, kWaveFormatQuery), c.code);
        EXPECT_NE(driver->LoadError().find(c.why), std::string::npos) << driver->LoadError();
    }
    std::remove(slowPath.c_str());
}

}  // namespace
