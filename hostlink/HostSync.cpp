#include "HostSync.h"

#include "BlockAnalysis.h"

#include <cmath>

namespace {

void AdoptChoice(IHostSyncWindow& window, std::int32_t value, const SyncItem (&items)[3])
{
    // Each value is compared in turn, so a command run for one choice is
    // seen by the checks that follow it.
    for (std::int32_t choice = 0; choice < 3; ++choice) {
        if (value == choice && window.ItemTag(items[choice]) != 1)
            window.RunCommand(items[choice]);
    }
}

void AdoptSwitch(IHostSyncWindow& window, SyncItem item, std::uint8_t value)
{
    const int state = window.ItemTag(item) == 1 ? 1 : 0;
    if (state != value)
        window.RunCommand(item);
}

void AdoptPosition(IHostSyncWindow& window, SyncControl control, std::int32_t value)
{
    if (value != window.Position(control))
        window.SetPosition(control, value);
}

}  // namespace

void SharedMapTimerTimer(SoundMapRecord* record, IHostSyncWindow& window)
{
    if (!record)
        return;

    // The scroll bar signals only on a real change, so this is a no-op
    // when the host left the gain alone.
    window.SetPosition(SyncControl::ScrollBar1, -static_cast<int>(record->Gain()));

    for (int i = 0; i < kAnalysisBands; ++i)
        EqGain[i].store(EqualizerFactor(record->EqualizerBand(i)), std::memory_order_relaxed);

    AdoptChoice(window, record->ShowInput(), {SyncItem::None1, SyncItem::Realtime1, SyncItem::Timeline1});
    AdoptChoice(window, record->NoiseLevelSwitch(), {SyncItem::Low1, SyncItem::Medium1, SyncItem::High1});

    AdoptSwitch(window, SyncItem::UseFFT1, record->UseFFT());
    AdoptSwitch(window, SyncItem::Triggerfaders1, record->TriggerFaders());
    AdoptSwitch(window, SyncItem::SoundCard1, record->SoundCard());
    AdoptSwitch(window, SyncItem::Runminimized1, record->RunMinimized());
    AdoptSwitch(window, SyncItem::StayOnTop1, record->StayOnTop());
    AdoptSwitch(window, SyncItem::AutoSaveChanges1, record->AutoSaveChanges());

    AdoptPosition(window, SyncControl::TrackBar1, record->TrigDecay());
    AdoptPosition(window, SyncControl::TrackBar2, record->TrigAggr());
    AdoptPosition(window, SyncControl::TrackBar3, record->NoiseLevelValue());

    if (window.Maximum(SyncControl::TrackBar3) < record->NoiseLevelValue()) {
        window.SetPosition(SyncControl::TrackBar3, window.Maximum(SyncControl::TrackBar3));
        record->SetNoiseLevelValue(window.Position(SyncControl::TrackBar3));
    }
}
