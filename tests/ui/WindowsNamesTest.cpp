// Every header of the core after windows.h: the system's macros (SendMessage,
// CreateFileMapping, MessageBox, ...) must rename nothing of ours, and the
// core's clock must be the system's.
#include <windows.h>

#include <gtest/gtest.h>

#include "BlockAnalysis.h"
#include "CaptureState.h"
#include "CaptureUi.h"
#include "Canvas.h"
#include "ConsoleCaptureUi.h"
#include "DisplayHost.h"
#include "DisplayRefresh.h"
#include "DisplayText.h"
#include "Displays.h"
#include "Fourier.h"
#include "HostSync.h"
#include "InstallLayout.h"
#include "KeyForwarding.h"
#include "MemorySharedMemory.h"
#include "Platform.h"
#include "ProfileFile.h"
#include "SegmentWatch.h"
#include "SettingsKeys.h"
#include "SharedMap.h"
#include "SharedMemoryPlatform.h"
#include "SignalWaveDriver.h"
#include "SoundMapOwner.h"
#include "SoundMapRecord.h"
#include "TrigDetector.h"
#include "VxSoundApp.h"
#include "WaveInDriver.h"
#include "WaveInRing.h"
#include "WindowEdge.h"
#include "WindowFixture.h"
#include "WindowMessages.h"
#include "vxsoundmap.h"

// A member named like one of the system's macros would be renamed in this
// file only, and the calls below, to members compiled without windows.h,
// would not link.
using WindowsNames = WindowTest;

TEST_F(WindowsNames, TheCoreKeepsItsNamesBesideTheSystemsAndItsClockIsTheSystems)
{
    TVxSoundApp& a = Create();
    ASSERT_TRUE(a.StartupComplete);
    a.DisplayMessage("Gfx error", TMessageKind::Information);
    EXPECT_EQ(a.HostMessage(kHostCloseMessage, 0, 0), 0);
    EXPECT_TRUE(a.Closed);

    TCanvas canvas(4, 4, clBlack);
    canvas.Pen.Color = clRed;
    canvas.MoveTo(0, 0);
    canvas.LineTo(3, 0);
    TCanvas copy(4, 4, clWhite);
    copy.CopyRect(TRect{0, 0, 4, 4}, canvas, TRect{0, 0, 4, 4});
    EXPECT_EQ(copy.Pixel(1, 0), clRed);

    const std::uint32_t before = ::GetTickCount();
    EXPECT_LE(static_cast<std::uint32_t>(VxPlatform::TickCount() - before), 1000u);
    EXPECT_FALSE(VxPlatform::EnvironmentValue("PATH").empty());
}
