// Helpers for the capture tests that run real driver threads.
#pragma once

#include "WaveInDriver.h"

#include <signal.h>
#include <sndfile.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <functional>
#include <string>
#include <thread>
#include <vector>

// Writes a 16-bit WAV file of `channels` channels, frame f of channel c
// being sample(f, c).
inline bool WriteWav(const std::string& path, int rate, int channels, long frames,
                     const std::function<std::int16_t(long, int)>& sample)
{
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    if (f == nullptr)
        return false;
    std::vector<std::int16_t> data(static_cast<std::size_t>(frames * channels));
    for (long i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c)
            data[static_cast<std::size_t>(i * channels + c)] = sample(i, c);
    const bool ok = sf_writef_short(f, data.data(), frames) == frames;
    sf_close(f);
    return ok;
}

inline std::string TempPath(const std::string& name)
{
    return "/tmp/vx_capture_test_" + std::to_string(::getpid()) + "_" + name;
}

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

// A driver-level client: a few blocks of its own that the callback
// re-queues until told to stop, recording what it saw.
struct TBlockClient {
    static constexpr int kBlocks = 3;
    IWaveInDriver* Driver = nullptr;
    THWaveIn Handle = 0;
    TWaveHeader Headers[kBlocks];
    unsigned char Data[kBlocks][2048] = {};
    std::atomic<bool> Requeue{true};
    std::atomic<int> InCallback{0};
    std::atomic<bool> Overlap{false};
    std::atomic<bool> WrongThread{false};
    std::atomic<bool> Unfilled{false};
    // The analysis runs on the driver thread and writes the shared record:
    // a SIGBUS blocked there would kill the process past its handler.
    std::atomic<bool> FaultSignalBlocked{false};
    std::atomic<int> Count{0};
    std::thread::id UiThread = std::this_thread::get_id();
    // Written only on the (single) driver thread; read after it is quiet.
    std::vector<int> Order;
    std::vector<std::int16_t> FirstSamples;

    static void Proc(THWaveIn, std::uint32_t message, std::uintptr_t instance, std::uintptr_t p1,
                     std::uintptr_t)
    {
        auto* self = reinterpret_cast<TBlockClient*>(instance);
        if (message != kWimData)
            return;
        if (self->InCallback.fetch_add(1) != 0)
            self->Overlap = true;
        if (std::this_thread::get_id() == self->UiThread)
            self->WrongThread = true;
        sigset_t blocked;
        if (pthread_sigmask(SIG_BLOCK, nullptr, &blocked) == 0 && sigismember(&blocked, SIGBUS) == 1)
            self->FaultSignalBlocked = true;
        auto* h = reinterpret_cast<TWaveHeader*>(p1);
        const int index = static_cast<int>(h - self->Headers);
        self->Order.push_back(index);
        std::int16_t first = static_cast<std::int16_t>(h->Data[0] | (h->Data[1] << 8));
        self->FirstSamples.push_back(first);
        if (self->Requeue.load() && h->BytesRecorded != h->BufferLength)
            self->Unfilled = true;
        if (self->Requeue.load())
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
        if (r != 0)
            return r;
        for (int i = 0; i < kBlocks; ++i) {
            Headers[i] = TWaveHeader{};
            Headers[i].Data = Data[i];
            Headers[i].BufferLength = 2048;
            driver.PrepareHeader(Handle, &Headers[i], sizeof(TWaveHeader));
            driver.AddBuffer(Handle, &Headers[i], sizeof(TWaveHeader));
        }
        return 0;
    }

    // One callback at a time, on the driver's thread with SIGBUS open, full
    // blocks while re-queued, and in the order they were queued.
    bool RanCleanly() const
    {
        for (std::size_t i = 0; i < Order.size(); ++i)
            if (Order[i] != static_cast<int>(i % kBlocks))
                return false;
        return !Overlap && !WrongThread && !FaultSignalBlocked && !Unfilled;
    }
};
