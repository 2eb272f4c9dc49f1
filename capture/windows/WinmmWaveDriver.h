// Wave input through the system's multimedia API (winmm). The driver
// signals an event for each block it fills; a thread of this back end
// waits on it and runs the capture callback, one block at a time in queue
// order, so that the callback may queue the next block (the system forbids
// wave calls from inside its own callback function).
//
// A started device that fills no queued block for 5 s is reported lost
// once, as the capture's information. Reset returns once every queued
// block's callback has returned. A device
// that is gone (its reset fails, or it keeps the blocks for 2 s) gets its
// blocks back unfilled, so that the capture can release them; its close
// then gives the handle up whatever the system answers, except while the
// system still holds blocks.
#pragma once

#include "WaveInDriver.h"

class TWinmmWaveDriver final : public IWaveInDriver {
public:
    std::uint32_t GetNumDevs() override;
    WaveResult GetDevName(std::int32_t device, std::string& name) override;
    WaveResult Open(THWaveIn* handle, std::int32_t device, const TWaveFormat& format, TWaveInProc callback,
                    std::uintptr_t instance, std::uint32_t flags) override;
    WaveResult PrepareHeader(THWaveIn handle, TWaveHeader* header, std::uint32_t size) override;
    WaveResult UnprepareHeader(THWaveIn handle, TWaveHeader* header, std::uint32_t size) override;
    WaveResult AddBuffer(THWaveIn handle, TWaveHeader* header, std::uint32_t size) override;
    WaveResult Start(THWaveIn handle) override;
    WaveResult Reset(THWaveIn handle) override;
    WaveResult Close(THWaveIn handle) override;
};
