// The sync tick against the smallest window that agrees with a zeroed
// record: what the tick runs, and in which order. The real
// window's commands and controls are the window tests' part.
#include "HostSync.h"

#include "BlockAnalysis.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

namespace {

class WindowModel : public IHostSyncWindow {
public:
    explicit WindowModel(SoundMapRecord& r) : rec(r) {}

    int ItemTag(SyncItem item) const override { return tags.count(item) ? tags.at(item) : 0; }

    // The on/off commands toggle and write the record, as the window's do
    // (only Stay On Top's byte matters here).
    void RunCommand(SyncItem item) override
    {
        commands.push_back(item);
        tags[item] = 1 - ItemTag(item);
        if (item == SyncItem::StayOnTop1)
            rec.SetStayOnTop(static_cast<std::uint8_t>(tags[item]));
    }

    // The controls stand at 0 and report a change only when they move.
    int Position(SyncControl) const override { return 0; }
    int Maximum(SyncControl c) const override { return c == SyncControl::TrackBar3 ? 455 : 300; }
    void SetPosition(SyncControl c, int p) override
    {
        if (p != 0)
            changes.push_back(c);
    }

    SoundMapRecord& rec;
    std::map<SyncItem, int> tags{{SyncItem::None1, 1}, {SyncItem::Low1, 1}};  // as for a zeroed record
    std::vector<SyncItem> commands;
    std::vector<SyncControl> changes;
};

class HostSyncTest : public ::testing::Test {
protected:
    SoundMapRecord rec{};
    WindowModel window{rec};
};

// Without a record the tick does nothing. Switches that differ from the
// record toggle in the window's order, and nothing else moves; an odd value
// settles after one run. (The factors and a window that agrees with the
// record: Sync.* and WindowRobustness.* through the real window.)
TEST_F(HostSyncTest, SwitchesToggleInOrderAndOddValuesSettle)
{
    EqGain[3].store(2.0f);
    SharedMapTimerTimer(nullptr, window);
    EXPECT_EQ(EqGain[3].load(), 2.0f);

    rec.SetUseFFT(1);
    rec.SetStayOnTop(7);
    rec.SetAutoSaveChanges(1);
    SharedMapTimerTimer(&rec, window);
    EXPECT_EQ(window.commands,
              (std::vector<SyncItem>{SyncItem::UseFFT1, SyncItem::StayOnTop1, SyncItem::AutoSaveChanges1}));
    EXPECT_TRUE(window.changes.empty());
    EXPECT_EQ(rec.UseFFT(), 1);
    EXPECT_EQ(rec.StayOnTop(), 1);  // 7 differs from off: toggled on, 1 written back
    window.commands.clear();
    SharedMapTimerTimer(&rec, window);
    EXPECT_TRUE(window.commands.empty());
}

}  // namespace
