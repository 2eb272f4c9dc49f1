// The main window's segment object. Start-up registers it once it exists,
// which hands its record to the analysis (see SetAnalysisRecord).
#pragma once

#include "SharedMap.h"

void SetSoundMapOwner(TSharedMap* map);
TSharedMap* SoundMapOwner();
