// Start-up and shut-down of the window: the close question, what a close
// leaves in the record, the failure paths and the host's close meanwhile.
#include "WindowFixture.h"

#include "BlockAnalysis.h"
#include "CaptureState.h"

namespace {

using namespace std::chrono_literals;
using Lifecycle = WindowTest;

// Exit asks like the close box. The close clears the bands and the active
// flag and keeps the rest of the record, the host's colours and reserved
// bytes included.
TEST_F(Lifecycle, ExitClearsBandsAndActiveAndKeepsTheRest)
{
    // Bytes only the host writes: colours, reserved bytes, unused bands.
    auto host = HostMap();
    const std::size_t hostBytes[] = {VXSM_OFF_EQUALIZERCOLOR, VXSM_OFF_EQUALIZERCOLOR + 14, VXSM_OFF_RESERVED1,
                                     VXSM_OFF_RESERVED2, VXSM_OFF_RESERVED3, VXSM_OFF_RESERVED3 + 59,
                                     VXSM_OFF_EQUALIZERBAND + 40};
    for (std::size_t off : hostBytes)
        host->Data->SetRawByte(off, 0xA5);
    TVxSoundApp& a = Create();
    a.SetUseFFT();
    // Let real blocks through the analysis.
    const std::uint32_t start = BlocksReceived.load();
    EXPECT_TRUE(Eventually([&] { return BlocksReceived.load() >= start + 5; }, 2s));
    Rec().SetBandLevel(4, 0.5f);
    Rec().SetBandLevel(20, 0.25f);
    a.Exit1Click();
    EXPECT_EQ(edge->Texts(TBoxKind::Question), std::vector<std::string>{kConfirmCloseText});
    ASSERT_TRUE(a.Closed);
    EXPECT_EQ(edge->Ended, 1);
    EXPECT_FALSE(WaveInOpen());
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(host->Data->BandLevel(i), 0.0f) << i;
    EXPECT_EQ(host->Data->BandLevel(20), 0.25f);
    EXPECT_EQ(host->Data->AnalyzerActive(), 0);
    EXPECT_EQ(host->Data->UseFFT(), 1);
    EXPECT_EQ(host->Data->TrigAggr(), 150);
    EXPECT_EQ(host->Data->MapVersion(), 1);
    for (std::size_t off : hostBytes)
        EXPECT_EQ(host->Data->RawByte(off), 0xA5) << off;
}

// A start-up that stopped before the settings were loaded (no picture, no
// segment) shows its error, opens no device, runs every command and tick
// without a record, and leaves the user's file alone at the close, whether
// the user closes afterwards or the host asks while the error box is open.
TEST_F(Lifecycle, EarlyStopClosesWithoutWritingTheSettings)
{
    const std::string settings = "; mine\n[VxSound]\nFormWidth=420\nAutoSaveChanges=1\nTrigDecay=3\n";
    const std::string absolute = (dir_ / "none.bmp").string();
    const struct {
        std::string picture, segment, error;
        bool hostDuringBox;
    } rows[] = {
        // The picture's path in full.
        {"none.bmp", segment_, "Cannot open file " + (std::filesystem::current_path() / "none.bmp").string() + ".", false},
        {absolute, segment_, "Cannot open file " + absolute + ".", true},
        {kPicture, VxTestOs::kBadSegmentName, " Createfilemapping error.", false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.error);
        std::ofstream(IniPath()) << settings;
        VxTestOs::SetEnv("VX_SEGMENT_NAME", row.segment);
        if (row.hostDuringBox)
            edge->WhileBoxOpen = [this] { w->HostMessage(2524, 0, 0); };
        TVxSoundApp& a = Create(row.picture);
        EXPECT_EQ(Errors(), std::vector<std::string>{row.error});
        EXPECT_FALSE(a.SettingsLoaded);
        EXPECT_EQ(a.TrackBar1.Position(), 13);  // the design's value, not the file's
        EXPECT_EQ(a.Closed, row.hostDuringBox);
        EXPECT_EQ(edge->Ended, row.hostDuringBox ? 1 : 0);
        EXPECT_EQ(driver_->BlocksDelivered(), 0u);
        EXPECT_FALSE(WaveInOpen());
        if (!row.hostDuringBox) {
            // The record was set up when there was one.
            EXPECT_EQ(a.Record() != nullptr && Rec().AnalyzerActive() == 1, row.segment == segment_);
            for (int i = 0; i < kMenuItems; ++i)
                if (i != static_cast<int>(TMenuId::Exit1))
                    a.Click(static_cast<TMenuId>(i));
            for (int i = 0; i < kPositionControls; ++i)
                a.Control(static_cast<TPositionId>(i)).SetPosition(3);
            a.SharedMapTimerTimer();
            a.VisualTimerTimer();
            EXPECT_TRUE(UserClose(true));
        }
        EXPECT_EQ(Ini(), settings);
        EXPECT_EQ(edge->Texts(TBoxKind::Question).size(), row.hostDuringBox ? 0u : 1u);
        // The close took the record's active flag back.
        EXPECT_TRUE(a.Record() == nullptr || a.Record()->AnalyzerActive() == 0);
    }
}

// The user's close always asks, and No changes nothing. The host's close
// never asks and wins over the user's open question (answered No for him).
// A close whose settings cannot be written keeps the window open with only
// the timers stopped when the user asked; asked by the host (or a signal,
// which comes as his request) it reports on stderr and ends as usual, as
// does the user's close whose error box the host's request ends.
TEST_F(Lifecycle, CloseQuestionUnwritableFileAndHostClose)
{
    TVxSoundApp& a = Create();
    // Help without a HelpFile opens the manual page beside the build's
    // programs, or says there is none (a build without the pages); a
    // HelpFile is taken from the program folder.
    a.Contents1Click();
    const std::string folder = TVxSoundApp::ProgramFolder();
    const std::string page = std::filesystem::path(folder + "../man/vxsound.1").lexically_normal().string();
    std::vector<std::string> opened;
    if (std::filesystem::exists(page))
        opened.push_back(page);
    else
        EXPECT_EQ(edge->StatusText.rfind("No help", 0), 0u) << edge->StatusText;
    WriteIni("HelpFile=VxSound.htm\n");
    a.Contents1Click();
    opened.push_back(folder + "VxSound.htm");
    EXPECT_EQ(edge->HelpOpened, opened);
    EXPECT_FALSE(UserClose(false));
    EXPECT_EQ(edge->Texts(TBoxKind::Question).size(), 1u);
    EXPECT_EQ(a.HostMessage(1234, 1, 2), 0);  // other messages do nothing
    EXPECT_EQ(edge->Ended, 0);
    EXPECT_TRUE(edge->Timer(TTimerId::SharedMapTimer) && edge->Timer(TTimerId::VisualTimer));
    EXPECT_EQ(Recording.load(), 1);

    // The host's request while the question is open ends the question.
    edge->WhileBoxOpen = [&] { a.HostMessage(2524, 0, 0); };
    EXPECT_TRUE(UserClose(false));
    EXPECT_EQ(edge->Texts(TBoxKind::Question).size(), 2u);
    EXPECT_EQ(edge->Ended, 1);
    EXPECT_FALSE(WaveInOpen());
    EXPECT_NE(Ini().find("AutoSaveChanges=1"), std::string::npos);
    EXPECT_TRUE(Errors().empty());

    // The host's request during start-up closes once start-up is over: the
    // device whole when it is closed, the settings loaded and saved.
    edge->WhileStarting = [&] { EXPECT_EQ(edge->App->HostMessage(2524, 0, 0), 0); };
    TVxSoundApp& c = Create();
    EXPECT_EQ((std::vector<bool>{c.StartupComplete, c.Closed, edge->Ended == 1, WaveInOpen()}),
              (std::vector<bool>{true, true, true, false}));
    EXPECT_EQ(c.Record()->AnalyzerActive(), 0);
    EXPECT_TRUE(Errors().empty());
    EXPECT_EQ(edge->Texts(TBoxKind::Question).size(), 0u);

    // The file's folder is a file, or the file a folder (unwritable cases
    // in full: ProfileFileTest.FailedWriteRaisesWithFullPath).
    enum EWho { User, Host, HostDuringErrorBox };
    std::ofstream(dir_ / "a-file") << "x";
    std::filesystem::create_directories(dir_ / "dir" / "VxSound.ini");
    const std::pair<EWho, std::filesystem::path> rows[] = {
        {User, dir_ / "a-file"}, {Host, dir_ / "a-file"}, {HostDuringErrorBox, dir_ / "dir"}};
    for (const auto& [who, folder] : rows) {
        SCOPED_TRACE(testing::Message() << folder << " " << who);
        TVxSoundApp& b = Create();
        SetSettingsDir(folder.string());
        const std::string error = "Unable to write to " + (folder / "VxSound.ini").string();
        ::testing::internal::CaptureStderr();
        if (who == HostDuringErrorBox)  // the host asks while the error box is open
            edge->WhileBoxOpen = [&] { edge->WhileBoxOpen = [&] { b.HostMessage(2524, 0, 0); }; };
        if (who == Host) {
            EXPECT_EQ(b.HostMessage(2524, 7, -7), 0);
        } else {
            UserClose(true);
        }
        const bool ends = who != User;
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), ends ? "vxsound: " + error + "; the settings are not saved\n" : "");
        EXPECT_EQ(Errors(), who == Host ? std::vector<std::string>{} : std::vector<std::string>{error});
        EXPECT_EQ(edge->Texts(TBoxKind::Question).size(), who == Host ? 0u : 1u);
        EXPECT_EQ((std::vector<bool>{b.Closed, b.SettingsUnsaved, edge->Ended == 1, !WaveInOpen(), b.HostCloseRequested}),
                  std::vector<bool>(5, ends));
        EXPECT_FALSE(edge->Timer(TTimerId::SharedMapTimer) || edge->Timer(TTimerId::VisualTimer));
        EXPECT_EQ(b.Record()->AnalyzerActive(), ends ? 0 : 1);
        SetSettingsDir(dir_.string());
        if (!ends) {
            EXPECT_TRUE(UserClose(true));  // the next window needs the device
        }
    }
}

}  // namespace
