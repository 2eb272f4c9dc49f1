#include "CaptureState.h"
#include "FakeCapture.h"

#include <gtest/gtest.h>

#include <numeric>

namespace {

std::vector<int> Range(int first, int count)
{
    std::vector<int> v(static_cast<std::size_t>(count));
    std::iota(v.begin(), v.end(), first);
    return v;
}

class WaveInRingTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetWaveInDriver(&driver);
        SetCaptureUi(&ui);
        VxPlatform::SetTickClock(&clock);
        DeviceId = -1;
    }

    void TearDown() override
    {
        CloseQuietly();
        VxPlatform::SetTickClock(nullptr);
        SetCaptureUi(nullptr);
        SetWaveInDriver(nullptr);
    }

    // Leaves nothing open for the next case, whatever this one did.
    void CloseQuietly()
    {
        driver = TFakeDriver{};
        CloseWaveIn();
        ui = TFakeUi{};
    }

    void OpenAndStart()
    {
        OpenWaveIn();
        StartWaveIn();
        driver.Log.clear();
    }

    std::int16_t Sample(int i) const { return SampleBlock[i].load(); }

    TFakeDriver driver;
    TFakeUi ui;
    TSteppingClock clock;
};

TEST_F(WaveInRingTest, OpenQueues24Of25BlocksAndEachReturnRequeuesThePreviousOne)
{
    DeviceId = 1;
    OpenWaveIn();
    EXPECT_EQ(DeviceName, "Device 1");
    ASSERT_EQ(driver.Log.size(), 2u + 25 + 24);
    EXPECT_EQ(driver.Log[0].Op, "query");
    EXPECT_EQ(driver.Log[1].Op, "open");
    EXPECT_EQ(driver.Log[2 + 25].Op, "add");  // every block prepared before the first is queued
    EXPECT_EQ(driver.Blocks("prepare"), Range(0, 25));
    EXPECT_EQ(driver.Blocks("add"), Range(0, 24));
    EXPECT_TRUE(DeviceHandlePresent.load());
    EXPECT_EQ(Recording.load(), 0);

    // A block returned as the device starts is recorded already.
    driver.Log.clear();
    driver.OnStart = [&] { driver.ReturnFront(42); };
    StartWaveIn();
    driver.OnStart = nullptr;
    EXPECT_EQ(Recording.load(), 1);
    EXPECT_EQ(Sample(1023), 42);
    EXPECT_EQ(CurrentBlock.load(), 1);
    EXPECT_EQ(driver.Blocks("add"), std::vector<int>{24});

    driver.Log.clear();
    for (int k = 1; k < 25; ++k)
        driver.ReturnFront(static_cast<std::int16_t>(-k));
    EXPECT_EQ(driver.Blocks("add"), Range(0, 24));
    EXPECT_EQ(CurrentBlock.load(), 0);
    EXPECT_EQ(Sample(512), -24);
    EXPECT_EQ(driver.Queue.size(), 24u);
    // Block 0 again; samples are little-endian in the block.
    driver.ReturnFront(-32768);
    EXPECT_EQ(Sample(7), -32768);
    EXPECT_TRUE(ui.Posted.empty());
}

// What a returned block does when it cannot be re-queued, and while the
// ring drains (it is released, never copied, and the ring always moves).
TEST_F(WaveInRingTest, FailedRequeuesAndReleasesArePostedNotShown)
{
    const struct {
        int recording;
        const char* failing;
        std::vector<int> added, released;
        int current;
        std::vector<std::string> posted;
    } cases[] = {
        {1, "add", {0}, {}, 1, {"Could not add block no. 0"}},
        {0, "", {}, {1}, 2, {}},
        {0, "unprepare", {}, {1}, 2, {"Could not unprepare header for block no. 1"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.failing);
        OpenAndStart();
        driver.ReturnFront(3);  // block 0, re-queues 24
        driver.Log.clear();
        Recording.store(c.recording);
        driver.Fail[c.failing] = kMmSysErrInvalParam;
        driver.ReturnFront(9);
        EXPECT_EQ(driver.Blocks("add"), c.added);
        EXPECT_EQ(driver.Blocks("unprepare"), c.released);
        EXPECT_EQ(CurrentBlock.load(), c.current);
        EXPECT_EQ(Sample(0), 3);
        EXPECT_EQ(ui.Posted, c.posted);
        EXPECT_TRUE(ui.Infos.empty());  // never shown on the driver thread
        CloseQuietly();
    }
}

TEST_F(WaveInRingTest, CloseDrainsForASecondWhilePumpingThenResetsAndCloses)
{
    OpenAndStart();
    for (int k = 0; k < 3; ++k)
        driver.ReturnFront(1);  // CurrentBlock 3; block 2 is out
    driver.Log.clear();
    clock.Value = 0xFFFFFF00u;  // the drain straddles the counter's wrap
    clock.Step = 10;
    int recordingDuringDrain = -1;
    ui.OnPump = [&] {
        recordingDuringDrain = Recording.load();
        if (!driver.Queue.empty())
            driver.ReturnFront(7);  // the driver returns blocks meanwhile
    };

    CloseWaveIn();

    EXPECT_EQ(recordingDuringDrain, 0);
    ASSERT_GE(driver.Log.size(), 3u);
    EXPECT_EQ(driver.Log.front().Op, "unprepare");
    EXPECT_EQ(driver.Log.front().Block, 2);
    // 1000 ms read in steps of 10 ms: about a hundred pumps, not zero (a
    // signed or wrapped difference would end the wait at once).
    EXPECT_GE(ui.Pumps, 95);
    EXPECT_LE(ui.Pumps, 101);
    EXPECT_EQ(driver.Log[driver.Log.size() - 2].Op, "reset");
    EXPECT_EQ(driver.Log.back().Op, "close");
    EXPECT_EQ(driver.Blocks("unprepare").size(), 25u);  // the out block and the 24 drained
    EXPECT_FALSE(DeviceHandlePresent.load());
    EXPECT_TRUE(ui.Errors.empty());

    // A second close, and a late callback, touch no driver.
    driver.Log.clear();
    ui.Pumps = 0;
    Recording.store(1);
    CloseWaveIn();
    EXPECT_EQ(Recording.load(), 0);
    EXPECT_EQ(ui.Pumps, 0);
    WaveInProc(77, kWimData, 0, 0, 0);
    EXPECT_TRUE(driver.Log.empty());
}

// Only four close results and a failed reset are worth a box; the device
// counts as closed anyway.
TEST_F(WaveInRingTest, CloseReportsOnlyTheResultsThatMeanSomething)
{
    const std::string head = "Could not close wave input device\n- ";
    const struct {
        const char* failing;
        WaveResult code;
        std::string error;  // empty: nothing shown
    } cases[] = {
        {"close", 5, head + "Specified device handle is invalid"},
        {"close", 6, head + "No device driver is present"},
        {"close", 7, head + "Unable to allocate or lock memory"},
        {"close", 33, head + "There are still buffers in the queue"},
        {"reset", 1, "Could not reset wave in"},
        {"close", 4, ""},
        {"close", 8, ""},
        {"close", 32, ""},
        {"close", 34, ""},
    };
    for (const auto& c : cases) {
        OpenAndStart();
        driver.Fail = {{c.failing, c.code}};
        CloseWaveIn();
        EXPECT_EQ(ui.Errors, c.error.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.error})
            << c.failing << " " << c.code;
        EXPECT_FALSE(DeviceHandlePresent.load());
        ui.Errors.clear();
    }
}

// Each failure shows the text of its code and ends the program, leaving
// nothing open.
TEST_F(WaveInRingTest, FatalFailuresEndTheProgramAtOnce)
{
    const struct {
        std::uint32_t devices;
        const char* failing;
        WaveResult code;
        const char* error;
        std::size_t calls;  // driver calls logged before the end
    } cases[] = {
        {0, "", 0, "Unspecified error", 0},
        {2, "query", kWaveErrBadFormat, "Unknown error", 1},  // no real open
        {2, "query", 21, "Unknown error", 1},
        {2, "open", kMmSysErrAllocated, "Sound Card already in use", 2},
        {2, "open", kMmSysErrNoDriverCb, "Driver does not respond (DriverCallBack)", 2},
        {2, "start", kMmSysErrNoDriver, "No sound card device driver present", 52},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.error);
        driver.NumDevs = c.devices;
        driver.Fail[c.failing] = c.code;
        if (std::string(c.failing) == "start") {
            OpenWaveIn();
            EXPECT_THROW(StartWaveIn(), TEndProgram);
        } else {
            EXPECT_THROW(OpenWaveIn(), TEndProgram);
            EXPECT_FALSE(DeviceHandlePresent.load());
        }
        EXPECT_EQ(ui.Errors, std::vector<std::string>{c.error});
        EXPECT_EQ(driver.Log.size(), c.calls);
        EXPECT_EQ(Recording.load(), 0);
        CloseQuietly();
    }
}

TEST(DeviceNameTest, CutTo31BytesWithoutSplittingACharacter)
{
    EXPECT_EQ(CutDeviceName(std::string(40, 'x')), std::string(31, 'x'));
    // 30 ASCII bytes, then a two-byte character that would straddle byte 31.
    EXPECT_EQ(CutDeviceName(std::string(30, 'a') + "\xC3\xA9" + "tail"), std::string(30, 'a'));
    EXPECT_EQ(CutDeviceName("Short"), "Short");
}

}  // namespace
