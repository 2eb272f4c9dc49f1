// The window against a host that cuts the segment short, or removes it and
// creates it again, while the capture analyses and the ticks run: the
// analyzer goes on, puts the segment back within a tick or so, writes its
// settings and start-up fields into it, and says so once on stderr.
#include "WindowFixture.h"

#include <QSignalSpy>

#include <sys/stat.h>

#include "HostileProcess.h"
#include "SoundMapRecord.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

struct stat Stat(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        st.st_ino = 0;
    return st;
}

class WindowSegment : public WindowTest {
protected:
    // A running window with two settings that only the record and a fader
    // hold, and the segment's path.
    TVxSoundApp& Running()
    {
        TVxSoundApp& a = Create();
        EXPECT_TRUE(a.StartupComplete) << errors.join("; ").toStdString();
        Rec().SetEqualizerBand(3, 64);
        a.TrackBar1->setValue(7);
        path = "/dev/shm/" + segment_;
        QSignalSpy ticks(a.SharedMapTimer, &QTimer::timeout);
        EXPECT_TRUE(WaitFor([&] { return ticks.count() >= 2; }, 2s));
        return a;
    }

    // What a host mapping the segment now sees: the analyzer active, its
    // settings back, and fresh levels from the capture.
    void ExpectLiveRecord(Clock::time_point deadline)
    {
        auto host = HostMap();
        host->Data->SetLevel(-1.0f);  // the analysis never writes a negative level
        EXPECT_TRUE(WaitUntil([&] { return host->Data->AnalyzerActive() == 1 && host->Data->Level() >= 0.0f; },
                              deadline))
            << "active " << int(host->Data->AnalyzerActive()) << ", level " << host->Data->Level();
        EXPECT_EQ(host->Data->MapVersion(), 1);
        EXPECT_EQ(host->Data->EqualizerBand(3), 64);
        EXPECT_EQ(host->Data->TrigDecay(), 7);
        EXPECT_EQ(host->Data->TrigAggr(), w->TrackBar2->value());
        EXPECT_EQ(host->Data->ShowInput(), 1);
        EXPECT_EQ(host->Data->AutoSaveChanges(), w->AutoSaveChanges1->Tag);
    }

    std::string path;
};

TEST_F(WindowSegment, CutShortSegmentIsGrownBackAndWrittenAgain)
{
    TVxSoundApp& a = Running();
    StderrCapture err;
    for (const long size : {0L, 1L, 2430L}) {
        SCOPED_TRACE("cut to " + std::to_string(size));
        const std::uint32_t blocks = BlocksReceived.load();
        ASSERT_EQ(RunShell("truncate -s " + std::to_string(size) + " " + path), 0);
        // Before any tick: cut to 0, this very read faults, here on the UI
        // thread (the capture thread's stores fault likewise).
        EXPECT_LE(Rec().AnalyzerActive(), 1);
        const auto deadline = Clock::now() + 2s;
        ASSERT_TRUE(WaitUntil([&] { return Stat(path).st_size == 2431; }, deadline)) << "not grown back";
        ExpectLiveRecord(deadline);
        EXPECT_GT(BlocksReceived.load(), blocks) << "the capture stopped";
    }
    EXPECT_EQ(err.Lines("was cut short by another process"), 3) << err.Text();
    EXPECT_FALSE(a.Closed);
    EXPECT_TRUE(errors.isEmpty()) << errors.join("; ").toStdString();
}

TEST_F(WindowSegment, RemovedOrReplacedSegmentIsFollowedWithinASecond)
{
    Running();
    StderrCapture err;
    const struct {
        const char* what;
        const char* command;  // %s = the segment's path
        const char* said;
    } rows[] = {
        {"removed", "rm %s", "was removed by another process"},
        {"removed and created again by a host", "rm %s && umask 077 && truncate -s 2431 %s",
         "was replaced by another process"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const ino_t before = Stat(path).st_ino;
        char command[512];
        std::snprintf(command, sizeof command, row.command, path.c_str(), path.c_str());
        ASSERT_EQ(RunShell(command), 0);
        const auto deadline = Clock::now() + 1s;
        // Never created here: the analyzer must make it when it is gone.
        ASSERT_TRUE(WaitUntil([&] { return Stat(path).st_ino != 0 && Stat(path).st_ino != before; }, deadline));
        ExpectLiveRecord(deadline);
        EXPECT_EQ(err.Lines(row.said), 1) << err.Text();
    }
}

}  // namespace
