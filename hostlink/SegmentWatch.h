// Keeps the analyzer's view of the segment usable when another process
// cuts the segment short, or removes it and creates it again. Only POSIX
// names and objects allow both while the analyzer holds them; on Windows
// the watch never has anything to repair.
#pragma once

#include <memory>
#include <string>

#include "SharedMap.h"

class ISegmentWatch {
public:
    enum class EChange {
        None,      // the view is on the named segment, at full size
        Regrown,   // the segment had been cut short; it is whole again
        Replaced,  // the name now refers to another object; that one is mapped
    };

    virtual ~ISegmentWatch() = default;

    // Once per synchronisation tick on the UI thread: puts the view back on
    // the segment. After a change the caller writes its settings and
    // start-up fields into the record again.
    virtual EChange Check() = 0;

    // The record as the last check found it whole: what the analyzer had
    // published before the segment was cut or replaced.
    virtual const SoundMapRecord& LastGood() const = 0;
};

// The watch over a view that PlatformSharedMemory() made; one at a time
// per process.
std::unique_ptr<ISegmentWatch> MakeSegmentWatch(TSharedMap& map, std::string name);
