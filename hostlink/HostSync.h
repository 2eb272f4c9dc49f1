// The host synchronisation tick: every 100 ms the window adopts the
// settings that the host wrote into the record, by moving its controls or
// running the very menu commands a user would. The window implements
// IHostSyncWindow; the tick itself needs nothing else but the record.
#pragma once

#include "SoundMapRecord.h"

// The menu commands the tick may run, named after their menu items.
enum class SyncItem {
    None1,
    Realtime1,
    Timeline1,
    Low1,
    Medium1,
    High1,
    UseFFT1,
    Triggerfaders1,
    SoundCard1,
    Runminimized1,
    StayOnTop1,
    AutoSaveChanges1,
};

// The position controls the tick may move.
enum class SyncControl {
    ScrollBar1,  // gain, -127..127
    TrackBar1,   // decay, 1..25
    TrackBar2,   // aggressiveness, 0..300
    TrackBar3,   // noise cut-off, 1..50/150/455
};

class IHostSyncWindow {
public:
    virtual ~IHostSyncWindow() = default;
    // The item's integer tag (1 = on, 0 = off; anything else counts as off).
    virtual int ItemTag(SyncItem item) const = 0;
    // Runs the item's command (its Click handler) on this thread.
    virtual void RunCommand(SyncItem item) = 0;
    virtual int Position(SyncControl control) const = 0;
    // Clamps into the control's range; runs its change handler, before
    // returning, only when the stored position actually changes.
    virtual void SetPosition(SyncControl control, int position) = 0;
    virtual int Maximum(SyncControl control) const = 0;
};

// One tick. record may be null (no segment or no view): nothing happens.
void SharedMapTimerTimer(SoundMapRecord* record, IHostSyncWindow& window);
