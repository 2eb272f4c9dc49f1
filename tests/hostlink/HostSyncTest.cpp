// The sync tick against a window model whose commands and change handlers
// write the record as the real window's do, so every case reads as the host
// sees it: write the record, run one tick, look at record and window.
#include "HostSync.h"

#include "BlockAnalysis.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <map>
#include <vector>

namespace {

struct Control {
    int min, max, pos;
};

class WindowModel : public IHostSyncWindow {
public:
    explicit WindowModel(SoundMapRecord& r) : rec(r)
    {
        tags[SyncItem::Realtime1] = 1;
        tags[SyncItem::High1] = 1;
        controls[SyncControl::ScrollBar1] = {-127, 127, 0};
        controls[SyncControl::TrackBar1] = {1, 25, 13};
        controls[SyncControl::TrackBar2] = {0, 300, 150};
        controls[SyncControl::TrackBar3] = {1, 455, 25};
        // The record as start-up leaves it: in agreement with the window.
        rec.SetShowInput(1);
        rec.SetNoiseLevelSwitch(2);
        rec.SetTrigDecay(13);
        rec.SetTrigAggr(150);
        rec.SetNoiseLevelValue(25);
    }

    int ItemTag(SyncItem item) const override
    {
        auto it = tags.find(item);
        return it == tags.end() ? 0 : it->second;
    }

    void RunCommand(SyncItem item) override
    {
        commands.push_back(item);
        switch (item) {
        case SyncItem::None1: Select({SyncItem::None1, SyncItem::Realtime1, SyncItem::Timeline1}, 0); rec.SetShowInput(0); break;
        case SyncItem::Realtime1: Select({SyncItem::None1, SyncItem::Realtime1, SyncItem::Timeline1}, 1); rec.SetShowInput(1); break;
        case SyncItem::Timeline1: Select({SyncItem::None1, SyncItem::Realtime1, SyncItem::Timeline1}, 2); rec.SetShowInput(2); break;
        case SyncItem::Low1: Range(0, 50); break;
        case SyncItem::Medium1: Range(1, 150); break;
        case SyncItem::High1: Range(2, 455); break;
        case SyncItem::UseFFT1: rec.SetUseFFT(Toggle(item)); break;
        case SyncItem::Triggerfaders1: rec.SetTriggerFaders(Toggle(item)); break;
        case SyncItem::SoundCard1: rec.SetSoundCard(Toggle(item)); break;
        case SyncItem::Runminimized1: rec.SetRunMinimized(Toggle(item)); break;
        case SyncItem::StayOnTop1: rec.SetStayOnTop(Toggle(item)); break;
        case SyncItem::AutoSaveChanges1: rec.SetAutoSaveChanges(Toggle(item)); break;
        }
    }

    int Position(SyncControl c) const override { return controls.at(c).pos; }
    int Maximum(SyncControl c) const override { return controls.at(c).max; }

    void SetPosition(SyncControl c, int position) override
    {
        Control& k = controls.at(c);
        const int clamped = std::clamp(position, k.min, k.max);
        if (clamped == k.pos)
            return;
        k.pos = clamped;
        Changed(c);
    }

    SoundMapRecord& rec;
    std::map<SyncItem, int> tags;
    std::map<SyncControl, Control> controls;
    std::vector<SyncItem> commands;
    std::vector<SyncControl> changes;

private:
    void Select(std::array<SyncItem, 3> group, int chosen)
    {
        for (int i = 0; i < 3; ++i)
            tags[group[i]] = i == chosen ? 1 : 0;
    }

    std::uint8_t Toggle(SyncItem item)
    {
        tags[item] = ItemTag(item) == 1 ? 0 : 1;
        return static_cast<std::uint8_t>(tags[item]);
    }

    void Range(int choice, int max)
    {
        Select({SyncItem::Low1, SyncItem::Medium1, SyncItem::High1}, choice);
        rec.SetNoiseLevelSwitch(choice);
        Control& k = controls.at(SyncControl::TrackBar3);
        k.max = max;
        if (k.pos > max) {
            k.pos = max;
            Changed(SyncControl::TrackBar3);
        }
    }

    void Changed(SyncControl c)
    {
        changes.push_back(c);
        const int p = controls.at(c).pos;
        switch (c) {
        case SyncControl::ScrollBar1: rec.SetGain(static_cast<std::int8_t>(-p)); break;
        case SyncControl::TrackBar1: rec.SetTrigDecay(p); break;
        case SyncControl::TrackBar2: rec.SetTrigAggr(p); break;
        case SyncControl::TrackBar3: rec.SetNoiseLevelValue(p); break;
        }
    }
};

class HostSyncTest : public ::testing::Test {
protected:
    SoundMapRecord rec{};
    WindowModel window{rec};
};

TEST_F(HostSyncTest, NoRecordDoesNothingAndAgreementRunsNothing)
{
    EqGain[0].store(7.0f);
    SharedMapTimerTimer(nullptr, window);
    EXPECT_EQ(EqGain[0].load(), 7.0f);

    SharedMapTimerTimer(&rec, window);
    SharedMapTimerTimer(&rec, window);
    EXPECT_TRUE(window.commands.empty());
    EXPECT_TRUE(window.changes.empty());
    EXPECT_EQ(EqGain[0].load(), 1.0f);
}

TEST_F(HostSyncTest, EqualizerFactorsAreRecomputedEveryTick)
{
    rec.SetEqualizerBand(3, 64);
    rec.SetEqualizerBand(4, 127);
    rec.SetEqualizerBand(5, -127);
    SharedMapTimerTimer(&rec, window);
    EXPECT_NEAR(EqGain[3].load(), 3.1623f, 5e-5f);
    EXPECT_NEAR(EqGain[4].load(), 9.8217f, 5e-4f);
    EXPECT_NEAR(EqGain[5].load(), 0.10182f, 5e-6f);
    EXPECT_EQ(EqGain[3].load(), static_cast<float>(3.16227766016837933L));

    // The editor may write a factor between ticks; the next tick replaces it.
    EqGain[3].store(2.0f);
    SharedMapTimerTimer(&rec, window);
    EXPECT_NEAR(EqGain[3].load(), 3.1623f, 5e-5f);
}

TEST_F(HostSyncTest, OnOffBytesToggleInOrderAndOddValuesSettleAfterOneRun)
{
    rec.SetUseFFT(1);
    rec.SetStayOnTop(7);
    rec.SetAutoSaveChanges(1);
    SharedMapTimerTimer(&rec, window);
    EXPECT_EQ(window.commands, (std::vector<SyncItem>{SyncItem::UseFFT1, SyncItem::StayOnTop1,
                                                      SyncItem::AutoSaveChanges1}));
    EXPECT_EQ(rec.UseFFT(), 1);
    EXPECT_EQ(rec.StayOnTop(), 1);  // 7 differs from off: toggled on, 1 written back

    window.commands.clear();
    SharedMapTimerTimer(&rec, window);
    EXPECT_TRUE(window.commands.empty());
}

}  // namespace
