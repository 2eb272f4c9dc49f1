// Capture test doubles: a scripted driver and a recording UI for the ring
// (the test plays the driver thread: it fills the front queued block and
// calls back), and a client with helpers for the real driver threads.
#pragma once

#include "CaptureUi.h"
#include "Platform.h"
#include "WaveInDriver.h"
#include "WaveInRing.h"

#include <signal.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <thread>
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
class TSteppingClock final : public VxPlatform::ITickClock {
public:
    std::uint32_t Now() override
    {
        Value += Step;
        return Value - Step;
    }
    std::uint32_t Value = 1000, Step = 50;
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
        name = "Device " + std::to_string(device);
        return 0;
    }
    WaveResult Open(THWaveIn* handle, std::int32_t, const TWaveFormat&, TWaveInProc callback, std::uintptr_t,
                    std::uint32_t flags) override
    {
        const bool query = flags == kWaveFormatQuery;
        const WaveResult r = Call(query ? "query" : "open");
        if (r != 0 || query)
            return r;
        Callback = callback;
        *handle = 77;
        return 0;
    }
    WaveResult PrepareHeader(THWaveIn, TWaveHeader* header, std::uint32_t) override
    {
        return Call("prepare", header);
    }
    WaveResult UnprepareHeader(THWaveIn, TWaveHeader* header, std::uint32_t) override
    {
        return Call("unprepare", header);
    }
    WaveResult AddBuffer(THWaveIn, TWaveHeader* header, std::uint32_t) override
    {
        const WaveResult r = Call("add", header);
        if (r == 0)
            Queue.push_back(header);
        return r;
    }
    WaveResult Start(THWaveIn) override
    {
        const WaveResult r = Call("start");
        if (OnStart)
            OnStart();
        return r;
    }
    WaveResult Reset(THWaveIn) override
    {
        const WaveResult r = Call("reset");
        while (!Queue.empty())
            ReturnFront(0);
        return r;
    }
    WaveResult Close(THWaveIn) override { return Call("close"); }

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
    std::map<std::string, WaveResult> Fail;  // result of an operation, by name
    std::function<void()> OnStart;
    TWaveInProc Callback = nullptr;
    std::deque<TWaveHeader*> Queue;
    std::vector<TCall> Log;

private:
    WaveResult Call(const std::string& op, TWaveHeader* header = nullptr)
    {
        Log.push_back({op, header != nullptr ? RingBlockIndex(header) : -1});
        const auto failure = Fail.find(op);
        return failure == Fail.end() ? 0 : failure->second;
    }
};

inline bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout)
{
    const auto until = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > until)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// A client of a real driver: a few blocks of its own that the callback
// re-queues until told to stop, recording what it saw.
struct TBlockClient {
    static constexpr int kBlocks = 3;
    IWaveInDriver* Driver = nullptr;
    THWaveIn Handle = 0;
    TWaveHeader Headers[kBlocks];
    unsigned char Data[kBlocks][2048] = {};
    std::atomic<bool> Requeue{true};
    std::atomic<int> InCallback{0};
    std::atomic<int> Count{0};
    // Set by a callback that overlapped another, ran on the opening thread,
    // had SIGBUS blocked (the analysis there writes the shared record, whose
    // fault handler must be able to run), or, while re-queuing, got a block
    // short or out of queue order.
    std::atomic<bool> Broken{false};
    std::thread::id UiThread = std::this_thread::get_id();
    // Written only on the (single) driver thread; read after it is quiet.
    std::vector<std::int16_t> FirstSamples;

    static void Proc(THWaveIn, std::uint32_t, std::uintptr_t instance, std::uintptr_t p1, std::uintptr_t)
    {
        auto* self = reinterpret_cast<TBlockClient*>(instance);
        auto* h = reinterpret_cast<TWaveHeader*>(p1);
        sigset_t blocked;
        pthread_sigmask(SIG_BLOCK, nullptr, &blocked);
        const bool requeue = self->Requeue.load();
        if (self->InCallback.fetch_add(1) != 0 || std::this_thread::get_id() == self->UiThread ||
            sigismember(&blocked, SIGBUS) == 1 ||
            (requeue && (h->BytesRecorded != h->BufferLength || h != &self->Headers[self->Count % kBlocks])))
            self->Broken = true;
        self->FirstSamples.push_back(static_cast<std::int16_t>(h->Data[0] | (h->Data[1] << 8)));
        if (requeue)
            self->Driver->AddBuffer(self->Handle, h, sizeof(TWaveHeader));
        self->Count.fetch_add(1);
        self->InCallback.fetch_sub(1);
    }

    WaveResult Open(IWaveInDriver& driver, std::int32_t device)
    {
        Driver = &driver;
        TWaveFormat f{kWaveFormatPcm, 1, 44100, 88200, 2, 16, 0};
        const WaveResult r = driver.Open(&Handle, device, f, &Proc,
                                         reinterpret_cast<std::uintptr_t>(this), kCallbackFunction);
        for (int i = 0; i < kBlocks && r == 0; ++i) {
            Headers[i] = TWaveHeader{};
            Headers[i].Data = Data[i];
            Headers[i].BufferLength = 2048;
            driver.PrepareHeader(Handle, &Headers[i], sizeof(TWaveHeader));
            driver.AddBuffer(Handle, &Headers[i], sizeof(TWaveHeader));
        }
        return r;
    }
};
