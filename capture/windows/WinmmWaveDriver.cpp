#include "WinmmWaveDriver.h"

#include "WaveInRing.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <mmsystem.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// How long a reset waits for the driver to hand back its blocks; what a
// driver that lost its device keeps after that is handed back unfilled.
constexpr auto kResetWait = std::chrono::seconds(2);
// The event thread also looks for finished blocks this often, should the
// driver ever fill a block without signalling.
constexpr DWORD kPollMs = 50;
// A started device that fills no queued block for this long is lost
// (unplugged, its server gone): the user is told once.
constexpr auto kLostAfter = std::chrono::seconds(5);

struct TInput {
    HWAVEIN Device = nullptr;
    HANDLE Filled = nullptr;
    TWaveInProc Callback = nullptr;
    std::uintptr_t Instance = 0;
    std::thread Thread;
    bool Stop = false;
    // A block taken off the queue whose callback has not returned yet.
    bool Delivering = false;
    // Set by a reset that the driver did not answer (a device that is
    // gone): the queued blocks come back unfilled.
    bool Abandon = false;
    // Between start and reset; when the last block came (or the start).
    bool Started = false;
    bool LostReported = false;
    std::chrono::steady_clock::time_point LastBlock;
    std::mutex Lock;
    std::condition_variable Returned;
    // The blocks at the driver, oldest first, and the system's header of
    // each prepared block.
    std::deque<TWaveHeader*> Queue;
    std::map<TWaveHeader*, std::unique_ptr<WAVEHDR>> Headers;
    // Headers a gone device still holds; freed with the handle.
    std::vector<std::unique_ptr<WAVEHDR>> Kept;
};

TInput* InputOf(THWaveIn handle)
{
    return reinterpret_cast<TInput*>(handle);
}

WAVEFORMATEX SystemFormat(const TWaveFormat& f)
{
    WAVEFORMATEX w{};
    w.wFormatTag = f.FormatTag;
    w.nChannels = f.Channels;
    w.nSamplesPerSec = f.SamplesPerSec;
    w.nAvgBytesPerSec = f.AvgBytesPerSec;
    w.nBlockAlign = f.BlockAlign;
    w.wBitsPerSample = f.BitsPerSample;
    w.cbSize = f.ExtraSize;
    return w;
}

UINT DeviceNumber(std::int32_t device)
{
    return device < 0 ? WAVE_MAPPER : static_cast<UINT>(device);
}

bool Done(const WAVEHDR& h)
{
    // Written by the driver's own thread.
    return (static_cast<const volatile DWORD&>(h.dwFlags) & WHDR_DONE) != 0;
}

TWaveHeader* TakeFront(TInput& in, DWORD bytesRecorded)
{
    TWaveHeader* block = in.Queue.front();
    in.Queue.pop_front();
    block->BytesRecorded = bytesRecorded;
    block->Flags = (block->Flags & ~kWhdrInQueue) | kWhdrDone;
    in.Delivering = true;
    in.LastBlock = std::chrono::steady_clock::now();
    return block;
}

// Runs the callback for a block taken off the queue, outside the lock (the
// callback queues and releases blocks), and tells a waiting reset or close.
void Deliver(TInput& in, THWaveIn handle, TWaveHeader* block)
{
    in.Callback(handle, kWimData, in.Instance, reinterpret_cast<std::uintptr_t>(block), 0);
    {
        std::lock_guard<std::mutex> guard(in.Lock);
        in.Delivering = false;
    }
    in.Returned.notify_all();
}

// Hands every finished block at the head of the queue to the callback,
// in queue order, outside the lock (the callback queues the next block).
void DeliverFinished(TInput& in, THWaveIn handle)
{
    for (;;) {
        TWaveHeader* block = nullptr;
        {
            std::lock_guard<std::mutex> guard(in.Lock);
            if (in.Queue.empty())
                return;
            WAVEHDR& h = *in.Headers.at(in.Queue.front());
            const bool done = Done(h);
            if (!done && !in.Abandon)
                return;
            block = TakeFront(in, done ? h.dwBytesRecorded : 0);
        }
        Deliver(in, handle, block);
    }
}

void RunEvents(TInput& in, THWaveIn handle)
{
    for (;;) {
        WaitForSingleObject(in.Filled, kPollMs);
        {
            std::lock_guard<std::mutex> guard(in.Lock);
            if (in.Stop)
                return;
        }
        DeliverFinished(in, handle);
        bool lost = false;
        {
            std::lock_guard<std::mutex> guard(in.Lock);
            lost = in.Started && !in.LostReported && !in.Queue.empty() &&
                   std::chrono::steady_clock::now() - in.LastBlock > kLostAfter;
            in.LostReported = in.LostReported || lost;
        }
        if (lost)
            PostCaptureInfo("Sound input lost (the device delivers nothing); capture has stopped. "
                            "Choose the sound card again to restart it.");
    }
}

}  // namespace

std::uint32_t TWinmmWaveDriver::GetNumDevs()
{
    return waveInGetNumDevs();
}

WaveResult TWinmmWaveDriver::GetDevName(std::int32_t device, std::string& name)
{
    WAVEINCAPSA caps{};
    const MMRESULT r = waveInGetDevCapsA(DeviceNumber(device), &caps, sizeof caps);
    caps.szPname[MAXPNAMELEN - 1] = '\0';
    name = r == MMSYSERR_NOERROR ? CutDeviceName(caps.szPname) : std::string();
    return r;
}

WaveResult TWinmmWaveDriver::Open(THWaveIn* handle, std::int32_t device, const TWaveFormat& format,
                                  TWaveInProc callback, std::uintptr_t instance, std::uint32_t flags)
{
    WAVEFORMATEX wfx = SystemFormat(format);
    if ((flags & kWaveFormatQuery) != 0)
        return waveInOpen(nullptr, DeviceNumber(device), &wfx, 0, 0, WAVE_FORMAT_QUERY);
    if (handle == nullptr || callback == nullptr)
        return kMmSysErrInvalParam;

    auto in = std::make_unique<TInput>();
    in->Callback = callback;
    in->Instance = instance;
    in->Filled = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (in->Filled == nullptr)
        return kMmSysErrNoMem;
    const MMRESULT r = waveInOpen(&in->Device, DeviceNumber(device), &wfx,
                                  reinterpret_cast<DWORD_PTR>(in->Filled), 0, CALLBACK_EVENT);
    if (r != MMSYSERR_NOERROR) {
        CloseHandle(in->Filled);
        return r;
    }
    TInput* raw = in.release();
    *handle = reinterpret_cast<THWaveIn>(raw);
    const THWaveIn h = *handle;
    raw->Thread = std::thread([raw, h] { RunEvents(*raw, h); });
    return kMmSysErrNoError;
}

WaveResult TWinmmWaveDriver::PrepareHeader(THWaveIn handle, TWaveHeader* header, std::uint32_t size)
{
    TInput* in = InputOf(handle);
    if (in == nullptr)
        return kMmSysErrInvalHandle;
    std::lock_guard<std::mutex> guard(in->Lock);
    if (const WaveResult r = MarkPrepared(header, size); r != kMmSysErrNoError)
        return r;
    auto h = std::make_unique<WAVEHDR>();
    h->lpData = reinterpret_cast<LPSTR>(header->Data);
    h->dwBufferLength = header->BufferLength;
    // The system's header size, not ours: 48 bytes in a 64-bit program.
    const MMRESULT r = waveInPrepareHeader(in->Device, h.get(), sizeof(WAVEHDR));
    if (r != MMSYSERR_NOERROR) {
        header->Flags &= ~kWhdrPrepared;
        return r;
    }
    in->Headers[header] = std::move(h);
    return kMmSysErrNoError;
}

WaveResult TWinmmWaveDriver::UnprepareHeader(THWaveIn handle, TWaveHeader* header, std::uint32_t size)
{
    TInput* in = InputOf(handle);
    if (in == nullptr)
        return kMmSysErrInvalHandle;
    std::lock_guard<std::mutex> guard(in->Lock);
    if (const WaveResult r = MarkUnprepared(header, size); r != kMmSysErrNoError)
        return r;
    const auto it = in->Headers.find(header);
    if (it == in->Headers.end())
        return kMmSysErrNoError;
    const MMRESULT r = waveInUnprepareHeader(in->Device, it->second.get(), sizeof(WAVEHDR));
    if (r != MMSYSERR_NOERROR && in->Abandon) {
        // A block handed back from a gone device: the system keeps its
        // header, the capture has its block back.
        in->Kept.push_back(std::move(it->second));
        in->Headers.erase(it);
        return kMmSysErrNoError;
    }
    if (r != MMSYSERR_NOERROR) {
        header->Flags |= kWhdrPrepared;
        return r;
    }
    in->Headers.erase(it);
    return kMmSysErrNoError;
}

WaveResult TWinmmWaveDriver::AddBuffer(THWaveIn handle, TWaveHeader* header, std::uint32_t size)
{
    TInput* in = InputOf(handle);
    if (in == nullptr)
        return kMmSysErrInvalHandle;
    std::lock_guard<std::mutex> guard(in->Lock);
    const auto it = in->Headers.find(header);
    if (it == in->Headers.end())
        return kWaveErrUnprepared;
    if (const WaveResult r = MarkQueued(header, size); r != kMmSysErrNoError)
        return r;
    WAVEHDR& h = *it->second;
    h.dwBytesRecorded = 0;
    const MMRESULT r = waveInAddBuffer(in->Device, &h, sizeof(WAVEHDR));
    if (r != MMSYSERR_NOERROR) {
        header->Flags &= ~kWhdrInQueue;
        return r;
    }
    in->Queue.push_back(header);
    return kMmSysErrNoError;
}

WaveResult TWinmmWaveDriver::Start(THWaveIn handle)
{
    TInput* in = InputOf(handle);
    if (in == nullptr)
        return kMmSysErrInvalHandle;
    const MMRESULT r = waveInStart(in->Device);
    std::lock_guard<std::mutex> guard(in->Lock);
    in->Started = r == MMSYSERR_NOERROR;
    in->LostReported = false;
    in->LastBlock = std::chrono::steady_clock::now();
    return r;
}

WaveResult TWinmmWaveDriver::Reset(THWaveIn handle)
{
    TInput* in = InputOf(handle);
    if (in == nullptr)
        return kMmSysErrInvalHandle;
    // Every block comes back marked done; the event thread hands them out
    // before the reset returns, as the capture relies on.
    const MMRESULT r = waveInReset(in->Device);
    SetEvent(in->Filled);
    std::unique_lock<std::mutex> guard(in->Lock);
    in->Started = false;
    const auto returned = [in] { return in->Queue.empty() && !in->Delivering; };
    if (r == MMSYSERR_NOERROR && in->Returned.wait_for(guard, kResetWait, returned))
        return r;
    // The device is gone (the reset failed, or the driver keeps the
    // blocks): the event thread hands them back unfilled, so that the
    // capture can release them and close.
    in->Abandon = true;
    SetEvent(in->Filled);
    in->Returned.wait(guard, returned);
    in->Abandon = false;
    return r != MMSYSERR_NOERROR ? r : kMmSysErrNoDriver;
}

WaveResult TWinmmWaveDriver::Close(THWaveIn handle)
{
    TInput* in = InputOf(handle);
    if (in == nullptr)
        return kMmSysErrInvalHandle;
    {
        // The last block's callback may still release (or queue) a block.
        std::unique_lock<std::mutex> guard(in->Lock);
        in->Returned.wait(guard, [in] { return !in->Delivering; });
        if (!in->Queue.empty())
            return kWaveErrStillPlaying;
    }
    const MMRESULT r = waveInClose(in->Device);
    // Still playing keeps the handle; any other failure is a device that
    // is gone, and the caller gives the handle up.
    if (r == WAVERR_STILLPLAYING)
        return r;
    {
        std::lock_guard<std::mutex> guard(in->Lock);
        in->Stop = true;
    }
    SetEvent(in->Filled);
    in->Thread.join();
    CloseHandle(in->Filled);
    delete in;
    return r;
}
