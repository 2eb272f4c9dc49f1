// Start-up and shut-down of the window: the close question, what a close
// leaves in the record, the failure paths, run minimized.
#include "WindowFixture.h"

#include <QTest>
#include <QTimer>

#include "BlockAnalysis.h"
#include "CaptureState.h"

using Lifecycle = WindowTest;

TEST_F(Lifecycle, HostCloseNeverAsksUserCloseAlwaysAndNoChangesNothing)
{
    TVxSoundApp& a = Create();
    a.show();
    EXPECT_FALSE(UserClose(false));
    EXPECT_EQ(questions, 1);
    EXPECT_TRUE(a.isVisible());
    EXPECT_TRUE(a.SharedMapTimer->isActive());
    EXPECT_TRUE(WaveInOpen());
    EXPECT_EQ(Rec().AnalyzerActive(), 1);
    EXPECT_EQ(Recording.load(), 1);

    EXPECT_EQ(a.HostMessage(1234, 1, 2), 0);  // other messages do nothing
    EXPECT_TRUE(a.isVisible());
    EXPECT_EQ(a.HostMessage(2524, 7, -7), 0);
    EXPECT_EQ(questions, 1);
    EXPECT_TRUE(a.Closed);
    EXPECT_FALSE(a.isVisible());
    EXPECT_FALSE(WaveInOpen());
}

TEST_F(Lifecycle, ExitAsksLikeTheCloseBox)
{
    TVxSoundApp& a = Create();
    answer = true;
    a.Exit1Click();
    EXPECT_EQ(questions, 1);
    EXPECT_TRUE(a.Closed);
}

TEST_F(Lifecycle, NormalCloseClearsBandsAndActiveAndKeepsTheRest)
{
    TVxSoundApp& a = Create();
    a.SetUseFFT();
    // Let real blocks through the analysis.
    const std::uint32_t start = BlocksReceived.load();
    for (int i = 0; i < 200 && BlocksReceived.load() < start + 5; ++i)
        QTest::qWait(10);
    Rec().SetBandLevel(4, 0.5f);
    Rec().SetBandLevel(20, 0.25f);
    ASSERT_TRUE(UserClose(true));
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(Rec().BandLevel(i), 0.0f) << i;
    EXPECT_EQ(Rec().BandLevel(20), 0.25f);
    EXPECT_EQ(Rec().AnalyzerActive(), 0);
    EXPECT_EQ(Rec().UseFFT(), 1);
    EXPECT_EQ(Rec().TrigAggr(), 150);
    EXPECT_EQ(Rec().MapVersion(), 1);
}

TEST_F(Lifecycle, HostCreatedSegmentKeepsColoursAndReservedBytes)
{
    auto host = HostMap();
    for (int i = 0; i < SoundMapRecord::kEqualizerColors; ++i)
        host->Data->SetEqualizerColor(i, static_cast<std::uint8_t>(10 + i));
    for (std::size_t off : {std::size_t{VXSM_OFF_RESERVED1}, std::size_t{VXSM_OFF_RESERVED2},
                            std::size_t{VXSM_OFF_RESERVED3}, std::size_t{VXSM_OFF_RESERVED3 + 59}})
        host->Data->SetRawByte(off, 0xA5);
    host->Data->SetEqualizerBand(40, 9);
    Create();
    UserClose(true);
    for (int i = 0; i < SoundMapRecord::kEqualizerColors; ++i)
        EXPECT_EQ(host->Data->EqualizerColor(i), 10 + i);
    for (std::size_t off : {std::size_t{VXSM_OFF_RESERVED1}, std::size_t{VXSM_OFF_RESERVED2},
                            std::size_t{VXSM_OFF_RESERVED3}, std::size_t{VXSM_OFF_RESERVED3 + 59}})
        EXPECT_EQ(host->Data->RawByte(off), 0xA5);
    EXPECT_EQ(host->Data->EqualizerBand(40), 9);
    EXPECT_EQ(host->Data->AnalyzerActive(), 0);
}

TEST_F(Lifecycle, MissingPictureShowsItsErrorAndOpensNoDevice)
{
    WriteIni("TrigDecay=3\n");
    const std::string missing = (dir_ / "nothing.bmp").string();
    TVxSoundApp& a = Create(QString::fromStdString(missing));
    ASSERT_EQ(errors.size(), 1);
    EXPECT_EQ(errors.front().toStdString(), "Cannot open file " + missing + ".");
    EXPECT_FALSE(a.StartupComplete);
    EXPECT_FALSE(WaveInOpen());
    EXPECT_EQ(driver_->BlocksDelivered(), 0u);
    // The record was initialised, the settings were not read.
    EXPECT_EQ(Rec().AnalyzerActive(), 1);
    EXPECT_EQ(a.TrackBar1->value(), 13);
}

// A start-up that stopped before the settings were loaded leaves the
// user's file alone at the close, whether the user closes afterwards or
// the host asks while the start-up error box is still open.
TEST_F(Lifecycle, EarlyStopClosesWithoutWritingTheSettings)
{
    const std::string settings = "; mine\n[VxSound]\nFormWidth=420\nAutoSaveChanges=1\nTrigDecay=3\n";
    const struct {
        const char* name;
        bool noSegment;
        bool hostDuringBox;
    } cases[] = {
        {"missing picture, user closes", false, false},
        {"missing picture, host closes during the box", false, true},
        {"no segment, user closes", true, false},
        {"no segment, host closes during the box", true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::ofstream(IniPath()) << settings;
        if (c.noSegment)
            qputenv("VX_SEGMENT_NAME", "no/such/segment");
        errors.clear();
        whileBoxOpen = nullptr;
        if (c.hostDuringBox)
            whileBoxOpen = [this] { w->HostMessage(2524, 0, 0); };
        TVxSoundApp& a = c.noSegment ? Create() : Create(QString::fromStdString((dir_ / "none.bmp").string()));
        ASSERT_EQ(errors.size(), 1);
        EXPECT_FALSE(a.SettingsLoaded);
        EXPECT_EQ(a.Closed, c.hostDuringBox);
        whileBoxOpen = nullptr;
        if (!c.hostDuringBox) {
            EXPECT_TRUE(UserClose(true));
        }
        EXPECT_EQ(Ini(), settings);
        if (!c.noSegment) {
            EXPECT_EQ(HostMap()->Data->AnalyzerActive(), 0);
        }
        w.reset();
        qputenv("VX_SEGMENT_NAME", QByteArray::fromStdString(segment_));
    }
}

// The host's close request wins over the user's open question (answered
// No for him), and a close that did not happen leaves no request behind.
TEST_F(Lifecycle, HostCloseDuringTheQuestionClosesAndAFailedCloseForgetsIt)
{
    TVxSoundApp& a = Create();
    a.show();
    const std::string blocker = (dir_ / "not-a-folder").string();
    std::ofstream(blocker) << "x";
    SetSettingsDir(blocker);
    EXPECT_EQ(a.HostMessage(2524, 0, 0), 0);
    EXPECT_FALSE(a.Closed);
    EXPECT_FALSE(a.HostCloseRequested);
    SetSettingsDir(dir_.string());
    a.SharedMapTimer->start();

    // The real question box, open when the host's request comes.
    a.ConfirmClose = nullptr;
    bool questionOpen = false;
    QTimer::singleShot(50, &a, [&] {
        questionOpen = QApplication::activeModalWidget() != nullptr;  // the failed host close left nothing set
        a.HostMessage(2524, 0, 0);
    });
    QTimer::singleShot(5000, &a, [] {  // a failure, not a hang
        if (QWidget* box = QApplication::activeModalWidget())
            box->close();
    });
    EXPECT_TRUE(UserClose(false));
    EXPECT_TRUE(questionOpen);
    EXPECT_FALSE(a.isVisible());
    EXPECT_NE(Ini().find("AutoSaveChanges=1"), std::string::npos);
}

// Message boxes show their texts exactly; only the toolkit's box for an
// exception during start-up adds its full stop (see MissingPicture...).
TEST_F(Lifecycle, BoxesShowTheirTextsExactly)
{
    TVxSoundApp& a = Create();
    const char* texts[] = {"Unspecified error", "Sound Card not existing", "Could not reset wave in",
                           "Could not add block no. 3"};
    for (const char* text : texts) {
        a.ShowError(text);
        EXPECT_EQ(errors.back().toStdString(), text);
        a.ShowInfo(text);
        EXPECT_EQ(errors.back().toStdString(), text);
    }
    a.DisplayMessage("PaintBox1 gfx error", TMessageKind::Error);
    EXPECT_EQ(errors.back().toStdString(), "PaintBox1 gfx error");
    a.DisplayMessage("Gfx error", TMessageKind::Information);
    EXPECT_EQ(errors.back().toStdString(), "Gfx error");
}

TEST_F(Lifecycle, RunMinimizedOnAndOff)
{
    WriteIni("RunMinimized=1\n");
    TVxSoundApp& a = Create();
    EXPECT_TRUE(a.Minimized());
    EXPECT_FALSE(a.VisualTimer->isActive());
    EXPECT_TRUE(a.SharedMapTimer->isActive());
    EXPECT_EQ(a.Runminimized1->Tag, 1);
    EXPECT_EQ(Rec().RunMinimized(), 1);
    a.HostMessage(2524, 0, 0);
    w.reset();

    WriteIni("RunMinimized=0\nFormWidth=250\nFormHeight=230\nFormLeft=30\nFormTop=40\n");
    TVxSoundApp& b = Create();
    EXPECT_FALSE(b.Minimized());
    EXPECT_TRUE(b.VisualTimer->isActive());
    b.show();
    QApplication::processEvents();
    EXPECT_EQ(b.geometry().topLeft(), QPoint(30, 40));
    EXPECT_EQ(b.geometry().height(), 230);
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

TEST(ErrorBoxRule, FullStopOnlyAfterCharactersAboveIt)
{
    EXPECT_EQ(TVxSoundApp::WithFullStop("No file x.bmp"), "No file x.bmp.");
    EXPECT_EQ(TVxSoundApp::WithFullStop("Value 7"), "Value 7.");
    EXPECT_EQ(TVxSoundApp::WithFullStop("Done."), "Done.");
    EXPECT_EQ(TVxSoundApp::WithFullStop("Really?"), "Really?.");
    EXPECT_EQ(TVxSoundApp::WithFullStop("Wait!"), "Wait!");
    EXPECT_EQ(TVxSoundApp::WithFullStop(""), "");
}
