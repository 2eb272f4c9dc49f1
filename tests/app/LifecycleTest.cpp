// Start-up and shut-down of the window: the close question, what a close
// leaves in the record, the failure paths.
#include "WindowFixture.h"

#include <QTest>
#include <QTimer>

#include "BlockAnalysis.h"
#include "CaptureState.h"

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
    EXPECT_TRUE(QTest::qWaitFor([&] { return BlocksReceived.load() >= start + 5; }, 2000));
    Rec().SetBandLevel(4, 0.5f);
    Rec().SetBandLevel(20, 0.25f);
    answer = true;
    a.Exit1Click();
    EXPECT_EQ(questions, 1);
    ASSERT_TRUE(a.Closed);
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

// A start-up that stopped before the settings were loaded shows its error,
// opens no device and leaves the user's file alone at the close, whether
// the user closes afterwards or the host asks while the error box is open.
// (Without a segment: Commands.WithoutASegmentNothingCrashes.)
TEST_F(Lifecycle, EarlyStopClosesWithoutWritingTheSettings)
{
    const std::string settings = "; mine\n[VxSound]\nFormWidth=420\nAutoSaveChanges=1\nTrigDecay=3\n";
    const std::string missing = (dir_ / "none.bmp").string();
    for (const bool hostDuringBox : {false, true}) {
        SCOPED_TRACE(hostDuringBox ? "host closes during the box" : "user closes");
        std::ofstream(IniPath()) << settings;
        errors.clear();
        whileBoxOpen = hostDuringBox ? std::function<void()>([this] { w->HostMessage(2524, 0, 0); }) : nullptr;
        TVxSoundApp& a = Create(QString::fromStdString(missing));
        whileBoxOpen = nullptr;
        ASSERT_EQ(errors.size(), 1);
        EXPECT_EQ(errors.front().toStdString(), "Cannot open file " + missing + ".");
        EXPECT_FALSE(a.SettingsLoaded);
        EXPECT_EQ(a.TrackBar1->value(), 13);  // the design's value, not the file's
        EXPECT_EQ(a.Closed, hostDuringBox);
        EXPECT_EQ(driver_->BlocksDelivered(), 0u);
        EXPECT_EQ(HostMap()->Data->AnalyzerActive(), hostDuringBox ? 0 : 1);  // the record was set up
        if (!hostDuringBox) {
            EXPECT_FALSE(WaveInOpen());
            EXPECT_TRUE(UserClose(true));
        }
        EXPECT_EQ(Ini(), settings);
        EXPECT_EQ(HostMap()->Data->AnalyzerActive(), 0);
        w.reset();
    }
}

// The user's close always asks, and No changes nothing. A close whose
// settings cannot be written keeps the window open and stops only the
// timers, whoever asked; the host's close never asks, and when it failed it
// leaves no request behind. The host's close wins over the user's open
// question (answered No for him).
TEST_F(Lifecycle, CloseQuestionUnwritableFileAndHostClose)
{
    TVxSoundApp& a = Create();
    a.show();
    EXPECT_FALSE(UserClose(false));
    EXPECT_EQ(questions, 1);
    EXPECT_EQ(a.HostMessage(1234, 1, 2), 0);  // other messages do nothing
    EXPECT_TRUE(a.isVisible());
    EXPECT_TRUE(a.SharedMapTimer->isActive());
    EXPECT_EQ(Recording.load(), 1);

    // A regular file where the folder should be: no one can write there.
    const std::string blocker = (dir_ / "not-a-folder").string();
    std::ofstream(blocker) << "x";
    SetSettingsDir(blocker);
    EXPECT_FALSE(UserClose(true));
    ASSERT_EQ(errors.size(), 1);
    EXPECT_EQ(errors.back().toStdString(), "Unable to write to " + blocker + "/VxSound.ini");
    EXPECT_EQ(a.HostMessage(2524, 7, -7), 0);
    EXPECT_EQ(questions, 2);
    EXPECT_FALSE(a.Closed);
    EXPECT_FALSE(a.HostCloseRequested);
    EXPECT_TRUE(a.isVisible());
    EXPECT_FALSE(a.SharedMapTimer->isActive());
    EXPECT_FALSE(a.VisualTimer->isActive());
    EXPECT_TRUE(WaveInOpen());
    EXPECT_EQ(Rec().AnalyzerActive(), 1);
    SetSettingsDir(dir_.string());
    a.SharedMapTimer->start();

    // The real question box, open when the host's request comes.
    a.ConfirmClose = nullptr;
    bool questionOpen = false;
    QTimer::singleShot(50, &a, [&] {
        questionOpen = QApplication::activeModalWidget() != nullptr;
        a.HostMessage(2524, 0, 0);
    });
    QTimer::singleShot(5000, &a, [] {  // a failure, not a hang
        if (QWidget* box = QApplication::activeModalWidget())
            box->close();
    });
    EXPECT_TRUE(UserClose(false));
    EXPECT_TRUE(questionOpen);
    EXPECT_FALSE(a.isVisible());
    EXPECT_FALSE(WaveInOpen());
    EXPECT_NE(Ini().find("AutoSaveChanges=1"), std::string::npos);
}

TEST_F(Lifecycle, AboutWindowShowsAndHides)
{
    TVxSoundApp& a = Create();
    TAboutForm about;
    AboutForm = &about;
    a.About1Click();
    EXPECT_TRUE(about.isVisible());
    EXPECT_FALSE(about.isModal());
    EXPECT_EQ(about.windowTitle(), "About Corvane Audio Analyzer");
    EXPECT_EQ(about.ProductName->text(), "Audio Analyzer");
    EXPECT_EQ(about.Version->text(), "v. 1.2");
    EXPECT_FALSE(about.ProgramIcon->pixmap().isNull());
    QTest::keyClick(&about, Qt::Key_Escape);
    EXPECT_FALSE(about.isVisible());
    a.About1Click();
    about.BitBtn1->click();
    EXPECT_FALSE(about.isVisible());
    AboutForm = nullptr;
}
