// Keeps the analyzer's view of the segment usable when another process
// cuts the segment short, or removes it and creates it again: a POSIX
// name and object can do both while the analyzer holds them.
//
// A store into pages that a truncation took away raises SIGBUS. While a
// watch exists, a SIGBUS whose address lies in the watched view maps
// anonymous memory over the whole view at the same address and returns, so
// the faulting store (on the capture thread or any other) goes on into
// memory that no host sees (TViewGuard, which guards hosts' views too).
// Any other SIGBUS goes to the handler that was there before. Check(), once per synchronisation tick on the UI thread,
// puts the view back on the segment: it grows a short segment back to the
// record's size, or maps the object that now bears the name (creating it
// when the name is gone), always at the same address, so that a thread
// writing the record meanwhile always finds memory there. The caller then
// writes its settings and start-up fields into the record again.
//
// One watch at a time per process, over a view made by PosixSharedMemory().
#pragma once

#include <cstddef>
#include <string>

#include "SegmentWatch.h"

// Keeps SIGBUS from killing the process when a guarded view loses its
// pages: a fault inside it maps anonymous memory over the whole view and
// the access goes on there; the owner sees the fault and maps the view
// again. A few views at a time per process (the analyzer's and hosts').
class TViewGuard {
public:
    TViewGuard() = default;
    ~TViewGuard();
    TViewGuard(const TViewGuard&) = delete;
    TViewGuard& operator=(const TViewGuard&) = delete;

    // False when every slot is taken (the view is then unguarded).
    bool Guard(void* base, std::size_t length);
    void Release();
    // Whether a fault hit the view since the last call; clears it.
    bool TakeFault();
    bool Faulted() const;

private:
    int slot_ = -1;
};

class TPosixSegmentWatch final : public ISegmentWatch {
public:
    TPosixSegmentWatch(TSharedMap& map, std::string name);
    ~TPosixSegmentWatch() override = default;
    TPosixSegmentWatch(const TPosixSegmentWatch&) = delete;
    TPosixSegmentWatch& operator=(const TPosixSegmentWatch&) = delete;

    // Each repair is said once on stderr; a repair that cannot be made yet
    // (no room, a host's segment shorter than the record) is said once and
    // retried at every later call, the view staying usable meanwhile.
    EChange Check() override;

    const SoundMapRecord& LastGood() const override { return lastGood_; }

private:
    bool Remap(int fd);
    void Report(const std::string& line);
    void ReportProblem(const std::string& line);

    TSharedMap& map_;
    std::string name_;
    unsigned char* view_ = nullptr;
    std::size_t length_ = 0;
    SoundMapRecord lastGood_{};
    std::string lastProblem_;
    bool repairPending_ = false;
    TViewGuard guard_;
};
