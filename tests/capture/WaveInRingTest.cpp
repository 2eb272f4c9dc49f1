#include "CaptureState.h"
#include "FakeCapture.h"

#include <gtest/gtest.h>

namespace {

class WaveInRingTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetWaveInDriver(&driver);
        SetCaptureUi(&ui);
        SetTickClock(&clock);
        DeviceId = -1;
        DeviceName.clear();
        for (auto& s : SampleBlock)
            s.store(0);
    }

    void TearDown() override
    {
        // Leave nothing open for the next test, whatever this one did.
        driver = TFakeDriver{};
        CloseWaveIn();
        SetTickClock(nullptr);
        SetCaptureUi(nullptr);
        SetWaveInDriver(nullptr);
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
    TSteppingClock clock{1000, 50};
};

TEST_F(WaveInRingTest, OpenPreparesAllBlocksAndQueuesTheFirst24InOrder)
{
    DeviceId = 1;
    OpenWaveIn();

    ASSERT_GE(driver.Log.size(), 2u);
    EXPECT_EQ(driver.Log[0].Op, "query");
    EXPECT_EQ(driver.Log[1].Op, "open");
    EXPECT_EQ(driver.OpenedDevice, 1);
    EXPECT_EQ(driver.Format.FormatTag, 1);
    EXPECT_EQ(driver.Format.Channels, 1);
    EXPECT_EQ(driver.Format.SamplesPerSec, 44100u);
    EXPECT_EQ(driver.Format.AvgBytesPerSec, 88200u);
    EXPECT_EQ(driver.Format.BlockAlign, 2);
    EXPECT_EQ(driver.Format.BitsPerSample, 16);

    std::vector<int> all(25), first24(24);
    for (int i = 0; i < 25; ++i)
        all[i] = i;
    for (int i = 0; i < 24; ++i)
        first24[i] = i;
    EXPECT_EQ(driver.Blocks("prepare"), all);
    EXPECT_EQ(driver.Blocks("add"), first24);
    EXPECT_FALSE(driver.BadHandleOrSize);
    // Every preparation comes before the first queuing.
    EXPECT_EQ(driver.Log[2 + 25].Op, "add");

    for (int i = 0; i < 25; ++i) {
        const TWaveHeader* h = RingBlockHeader(i);
        ASSERT_NE(h->Data, nullptr);
        EXPECT_EQ(h->BufferLength, 2048u);
        EXPECT_EQ(h->Data, reinterpret_cast<const unsigned char*>(h) + sizeof(TWaveHeader));
    }
    EXPECT_EQ(CurrentBlock.load(), 0);
    EXPECT_TRUE(DeviceHandlePresent.load());
    EXPECT_EQ(Recording.load(), 0);
    EXPECT_EQ(DeviceName, "Device 1");

    StartWaveIn();
    EXPECT_EQ(Recording.load(), 1);
}

TEST_F(WaveInRingTest, EachBlockRequeuesThePreviousOneAndTheRingWraps)
{
    OpenAndStart();

    driver.ReturnFront(1000);  // block 0
    EXPECT_EQ(driver.Blocks("add"), std::vector<int>{24});
    EXPECT_EQ(CurrentBlock.load(), 1);
    EXPECT_EQ(Sample(0), 1000);
    EXPECT_EQ(Sample(1023), 1000);

    for (int k = 1; k < 25; ++k)
        driver.ReturnFront(static_cast<std::int16_t>(-k));
    std::vector<int> expected{24};
    for (int k = 0; k < 24; ++k)
        expected.push_back(k);
    EXPECT_EQ(driver.Blocks("add"), expected);  // the 25th re-queues 23
    EXPECT_EQ(CurrentBlock.load(), 0);
    EXPECT_EQ(Sample(512), -24);
    EXPECT_EQ(driver.Queue.size(), 24u);

    // Samples are little-endian in the block, whatever their value.
    driver.ReturnFront(-32768);
    EXPECT_EQ(Sample(7), -32768);
}

TEST_F(WaveInRingTest, ABlockReturnedAsTheDeviceStartsIsRecorded)
{
    OpenWaveIn();
    driver.OnStart = [&] { driver.ReturnFront(42); };
    StartWaveIn();
    EXPECT_EQ(Sample(0), 42);
    EXPECT_EQ(CurrentBlock.load(), 1);
    driver.OnStart = nullptr;
    driver.ReturnFront(43);  // re-queues block 0, which must still be usable
    EXPECT_TRUE(ui.Posted.empty());
    EXPECT_EQ(Sample(0), 43);
}

TEST_F(WaveInRingTest, OpenAndCloseNotificationsChangeNothing)
{
    OpenAndStart();
    driver.ReturnFront(5);
    driver.Log.clear();

    driver.Callback(77, kWimOpen, 0, 0, 0);
    driver.Callback(77, kWimClose, 0, 0, 0);
    driver.Callback(77, 12345, 0, 0, 0);
    EXPECT_TRUE(driver.Log.empty());
    EXPECT_EQ(CurrentBlock.load(), 1);
    EXPECT_EQ(Sample(0), 5);
}

TEST_F(WaveInRingTest, FailedRequeueIsPostedAndNothingMoves)
{
    OpenAndStart();
    driver.ReturnFront(3);  // block 0, re-queues 24
    driver.AddResult = kMmSysErrInvalHandle;
    driver.ReturnFront(9);  // block 1 cannot re-queue 0

    ASSERT_EQ(ui.Posted, std::vector<std::string>{"Could not add block no. 0"});
    EXPECT_TRUE(ui.Infos.empty());  // never shown on the driver thread
    EXPECT_EQ(CurrentBlock.load(), 1);
    EXPECT_EQ(Sample(0), 3);
}

TEST_F(WaveInRingTest, DrainingReleasesAndAlwaysAdvances)
{
    OpenAndStart();
    driver.ReturnFront(1);
    driver.ReturnFront(2);  // CurrentBlock 2
    Recording.store(0);
    driver.Log.clear();

    driver.ReturnFront(50);
    EXPECT_EQ(driver.Blocks("unprepare"), std::vector<int>{2});
    EXPECT_TRUE(driver.Blocks("add").empty());
    EXPECT_EQ(CurrentBlock.load(), 3);
    EXPECT_EQ(Sample(0), 2);  // nothing copied

    driver.UnprepareResult = kMmSysErrInvalParam;
    driver.ReturnFront(60);
    EXPECT_EQ(ui.Posted,
              std::vector<std::string>{"Could not unprepare header for block no. 3"});
    EXPECT_EQ(CurrentBlock.load(), 4);
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
    ASSERT_FALSE(driver.Log.empty());
    EXPECT_EQ(driver.Log.front().Op, "unprepare");
    EXPECT_EQ(driver.Log.front().Block, 2);
    // 1000 ms read in steps of 10 ms: about a hundred pumps, not zero (a
    // signed or wrapped difference would end the wait at once).
    EXPECT_GE(ui.Pumps, 95);
    EXPECT_LE(ui.Pumps, 101);
    ASSERT_GE(driver.Log.size(), 3u);
    EXPECT_EQ(driver.Log[driver.Log.size() - 2].Op, "reset");
    EXPECT_EQ(driver.Log.back().Op, "close");
    EXPECT_EQ(driver.Blocks("unprepare").size(), 25u);  // the out block and the 24 drained
    EXPECT_FALSE(DeviceHandlePresent.load());
    EXPECT_FALSE(WaveInOpen());
    EXPECT_TRUE(ui.Errors.empty());

    // A second close, and a late callback, touch no driver.
    driver.Log.clear();
    ui.Pumps = 0;
    Recording.store(1);
    CloseWaveIn();
    EXPECT_EQ(Recording.load(), 0);
    EXPECT_TRUE(driver.Log.empty());
    EXPECT_EQ(ui.Pumps, 0);
    WaveInProc(77, kWimData, 0, 0, 0);
    EXPECT_TRUE(driver.Log.empty());
    EXPECT_EQ(AddBlock(0), kMmSysErrInvalHandle);
    PrepareBlock(0);
    EXPECT_TRUE(driver.Log.empty());
}

TEST_F(WaveInRingTest, OnlyFourCloseResultsAreReported)
{
    const std::pair<WaveResult, const char*> reported[] = {
        {5, "- Specified device handle is invalid"},
        {6, "- No device driver is present"},
        {7, "- Unable to allocate or lock memory"},
        {33, "- There are still buffers in the queue"},
    };
    for (WaveResult code : {0u, 1u, 2u, 4u, 8u, 11u, 20u, 32u, 34u, 0xFFFFFFFFu}) {
        OpenAndStart();
        ui.Errors.clear();
        driver.CloseResult = code;
        CloseWaveIn();
        EXPECT_TRUE(ui.Errors.empty()) << code;
        driver.CloseResult = 0;
    }
    for (const auto& [code, line] : reported) {
        OpenAndStart();
        ui.Errors.clear();
        driver.CloseResult = code;
        CloseWaveIn();
        EXPECT_EQ(ui.Errors, std::vector<std::string>{std::string("Could not close wave input device\n") + line});
        EXPECT_FALSE(DeviceHandlePresent.load());  // cleared anyway
        driver.CloseResult = 0;
    }

    OpenAndStart();
    ui.Errors.clear();
    driver.ResetResult = 1;
    CloseWaveIn();
    EXPECT_EQ(ui.Errors, std::vector<std::string>{"Could not reset wave in"});
}

TEST(WaveInErrorTextTest, EveryCodeHasItsText)
{
    const char* const texts[] = {
        "No error",
        "Unspecified error",
        "Sound Card not existing",
        "Sound Card failed to enable",
        "Sound Card already in use",
        "Sound device handle invalid",
        "No sound card device driver present",
        "Memory allocation error",
        "Function not supported by sound card device driver",
        "Value out of range",
        "Invalid flag passed",
        "Invalid parameter passed",
        "Handle being used simultaneously on another thread",
        "Specified alias not found",
        "Bad registry database",
        "Registry key not found",
        "Registry read error",
        "Registry write error",
        "Registry delete error",
        "Registry value not found",
        "Driver does not respond (DriverCallBack)",
    };
    TFakeUi ui;
    SetCaptureUi(&ui);
    for (WaveResult code = 0; code <= 20; ++code) {
        EXPECT_STREQ(WaveInErrorText(code), texts[code]);
        DoError(code);
    }
    for (WaveResult code : {21u, 32u, 33u, 0xFFFFFFFFu})
        EXPECT_STREQ(WaveInErrorText(code), "Unknown error");
    DoError(32);
    SetCaptureUi(nullptr);
    ASSERT_EQ(ui.Errors.size(), 22u);
    EXPECT_EQ(ui.Errors[20], "Driver does not respond (DriverCallBack)");
    EXPECT_EQ(ui.Errors[21], "Unknown error");
}

// Each failure shows its text and ends the program, leaving nothing open.
TEST_F(WaveInRingTest, FatalFailuresEndTheProgramAtOnce)
{
    const struct {
        void (*fail)(TFakeDriver&);
        bool atStart;  // fails in StartWaveIn, not OpenWaveIn
        const char* error;
        std::size_t calls;  // driver calls logged before the end
    } cases[] = {
        {[](TFakeDriver& d) { d.NumDevs = 0; }, false, "Unspecified error", 0},
        {[](TFakeDriver& d) { d.QueryResult = kWaveErrBadFormat; }, false, "Unknown error", 1},  // no real open
        {[](TFakeDriver& d) { d.OpenResult = kMmSysErrAllocated; }, false, "Sound Card already in use", 2},
        {[](TFakeDriver& d) { d.StartResult = kMmSysErrNoDriver; }, true, "No sound card device driver present", 52},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.error);
        driver = TFakeDriver{};
        ui.Errors.clear();
        c.fail(driver);
        if (c.atStart) {
            OpenWaveIn();
            EXPECT_THROW(StartWaveIn(), TEndProgram);
        } else {
            EXPECT_THROW(OpenWaveIn(), TEndProgram);
            EXPECT_FALSE(DeviceHandlePresent.load());
        }
        EXPECT_EQ(ui.Errors, std::vector<std::string>{c.error});
        EXPECT_EQ(driver.Log.size(), c.calls);
        EXPECT_EQ(Recording.load(), 0);
    }
}

TEST_F(WaveInRingTest, DeviceNamesAreCutTo31BytesWithoutSplittingACharacter)
{
    driver.DefaultName = std::string(40, 'x');
    EXPECT_EQ(GetDeviceName(-1), std::string(31, 'x'));
    // 30 ASCII bytes, then a two-byte character that would straddle byte 31.
    driver.DefaultName = std::string(30, 'a') + "\xC3\xA9" + "tail";
    EXPECT_EQ(GetDeviceName(-1), std::string(30, 'a'));
    driver.DefaultName = "Short";
    OpenWaveIn();
    EXPECT_EQ(DeviceName, "Short");
}

}  // namespace
