// The main window's segment object, reachable from the capture thread.
// Start-up registers it once it exists; the analysis takes the record
// pointer afresh at every access and does nothing while there is none.
#pragma once

#include "SharedMap.h"

void SetSoundMapOwner(TSharedMap* map);
TSharedMap* SoundMapOwner();

// The record of the registered segment object, or null.
SoundMapRecord* CurrentSoundMap();
