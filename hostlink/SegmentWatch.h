// Keeps a view of the segment usable when another process cuts the
// segment short, or removes it and creates it again. Only POSIX names and
// objects allow both while a process holds them; on Windows there is never
// anything to repair. The analyzer's watch repairs the segment; a host's
// view only follows it, since only the analyzer creates or regrows it.
#pragma once

#include <functional>
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

// A host's view of the record (vxbridge, vxhost watch). It never creates
// or regrows the segment: it follows the name to the object that bears it
// now, survives the segment being cut short, and refuses what is not the
// user's own segment of the record's size. What it finds is said through
// `notice`, each text at most once a minute (repeats counted).
class IHostSegment {
public:
    virtual ~IHostSegment() = default;

    // At every poll: the record while a whole segment is mapped, null
    // while there is none (not there yet, refused, removed, cut short):
    // for the host the analyzer is gone then. The pointer stays the same
    // for the life of the object, whichever segment it shows.
    virtual SoundMapRecord* Follow() = 0;
};

using TSegmentNotice = std::function<void(const std::string&)>;

std::unique_ptr<IHostSegment> MakeHostSegment(std::string name, TSegmentNotice notice);

// Why the last creation or opening of a segment on this thread failed, in
// words ("is a FIFO, not a shared-memory segment"); empty when not known.
std::string SegmentProblem();
