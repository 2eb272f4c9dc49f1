// A scripted wave-input driver and a recording UI for the ring tests. The
// test plays the driver thread itself: it fills the front block and calls
// the callback.
#pragma once

#include "CaptureUi.h"
#include "TickClock.h"
#include "WaveInDriver.h"
#include "WaveInRing.h"

#include <cstring>
#include <deque>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

struct TEndProgram : std::runtime_error {
    TEndProgram() : std::runtime_error("EndProgram") {}
};

class TFakeUi final : public ICaptureUi {
public:
    void ShowError(const std::string& text) override { Errors.push_back(text); }
    void ShowInfo(const std::string& text) override { Infos.push_back(text); }
    void PostInfo(const std::string& text) override { Posted.push_back(text); }
    void ProcessMessages() override
    {
        ++Pumps;
        if (OnPump)
            OnPump();
    }
    [[noreturn]] void EndProgram() override { throw TEndProgram(); }

    std::vector<std::string> Errors, Infos, Posted;
    int Pumps = 0;
    std::function<void()> OnPump;
};

// Each reading moves the clock on by Step ms.
class TSteppingClock final : public ITickClock {
public:
    explicit TSteppingClock(std::uint32_t start, std::uint32_t step) : Value(start), Step(step) {}
    std::uint32_t Now() override
    {
        const std::uint32_t v = Value;
        Value += Step;
        return v;
    }
    std::uint32_t Value;
    std::uint32_t Step;
};

class TFakeDriver final : public IWaveInDriver {
public:
    struct TCall {
        std::string Op;
        int Block;  // ring index of the header, or -1
    };

    std::uint32_t GetNumDevs() override { return NumDevs; }
    WaveResult GetDevName(std::int32_t device, std::string& name) override
    {
        name = device == -1 ? DefaultName : "Device " + std::to_string(device);
        return 0;
    }
    WaveResult Open(THWaveIn* handle, std::int32_t device, const TWaveFormat& format,
                    TWaveInProc callback, std::uintptr_t, std::uint32_t flags) override
    {
        OpenedDevice = device;
        Format = format;
        if (flags == kWaveFormatQuery) {
            Log.push_back({"query", -1});
            return QueryResult;
        }
        Log.push_back({"open", -1});
        if (OpenResult != 0)
            return OpenResult;
        Callback = callback;
        *handle = 77;
        return 0;
    }
    WaveResult PrepareHeader(THWaveIn h, TWaveHeader* header, std::uint32_t size) override
    {
        Record("prepare", h, header, size);
        return 0;
    }
    WaveResult UnprepareHeader(THWaveIn h, TWaveHeader* header, std::uint32_t size) override
    {
        Record("unprepare", h, header, size);
        return UnprepareResult;
    }
    WaveResult AddBuffer(THWaveIn h, TWaveHeader* header, std::uint32_t size) override
    {
        Record("add", h, header, size);
        if (AddResult != 0)
            return AddResult;
        Queue.push_back(header);
        return 0;
    }
    WaveResult Start(THWaveIn) override
    {
        Log.push_back({"start", -1});
        if (OnStart)
            OnStart();
        return StartResult;
    }
    WaveResult Reset(THWaveIn) override
    {
        Log.push_back({"reset", -1});
        while (!Queue.empty())
            ReturnFront(0);
        return ResetResult;
    }
    WaveResult Close(THWaveIn) override
    {
        Log.push_back({"close", -1});
        return CloseResult;
    }

    // Fills the front queued block with `value` and returns it.
    void ReturnFront(std::int16_t value)
    {
        TWaveHeader* h = Queue.front();
        Queue.pop_front();
        for (std::uint32_t i = 0; i + 1 < h->BufferLength; i += 2)
            std::memcpy(h->Data + i, &value, 2);
        h->BytesRecorded = h->BufferLength;
        Callback(77, kWimData, 0, reinterpret_cast<std::uintptr_t>(h), 0);
    }

    std::vector<int> Blocks(const std::string& op) const
    {
        std::vector<int> out;
        for (const TCall& c : Log)
            if (c.Op == op)
                out.push_back(c.Block);
        return out;
    }

    std::uint32_t NumDevs = 2;
    std::string DefaultName = "Default input";
    WaveResult QueryResult = 0, OpenResult = 0, StartResult = 0, ResetResult = 0,
               CloseResult = 0, AddResult = 0, UnprepareResult = 0;
    std::function<void()> OnStart;
    std::int32_t OpenedDevice = -99;
    TWaveFormat Format;
    TWaveInProc Callback = nullptr;
    std::deque<TWaveHeader*> Queue;
    std::vector<TCall> Log;
    bool BadHandleOrSize = false;

private:
    void Record(const char* op, THWaveIn h, TWaveHeader* header, std::uint32_t size)
    {
        if (h != 77 || size != sizeof(TWaveHeader))
            BadHandleOrSize = true;
        Log.push_back({op, RingBlockIndex(header)});
    }
};
