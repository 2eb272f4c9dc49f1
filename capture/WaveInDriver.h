// The wave-input driver interface that the capture ring runs on, with the
// platform's numbers for result codes, messages and flags. Back ends: the
// sound server (PulseWaveDriver.h) and a generated signal
// (SignalWaveDriver.h); tests script their own.
//
// What every back end guarantees:
// - GetNumDevs: 0 means no input device.
// - GetDevName: a name of at most 31 bytes; device -1 is the default input.
// - Open with kWaveFormatQuery (handle may be null): 0 when the device
//   takes the format, else a result code. Open with kCallbackFunction: 0 and
//   a handle; later one kWimData callback per filled block.
// - PrepareHeader / UnprepareHeader: 0 on success; unpreparing a queued
//   block gives kWaveErrStillPlaying.
// - AddBuffer: queued blocks are filled completely (BufferLength bytes) and
//   returned strictly in the order queued, one callback each, never two
//   callbacks at once, on a driver thread (never the caller's thread of the
//   other operations); AddBuffer may be called from inside the callback.
// - Start: begin filling. While started and no block is queued, the input
//   is dropped.
// - Reset: stops filling and returns every queued block with a kWimData
//   callback on the driver thread, all before Reset returns.
// - Close: 0, or kWaveErrStillPlaying while blocks are queued (the handle
//   then stays open).
#pragma once

#include <cstdint>
#include <string>

using WaveResult = std::uint32_t;

// Result codes (multimedia system codes 0..20, then the wave codes).
inline constexpr WaveResult kMmSysErrNoError = 0;
inline constexpr WaveResult kMmSysErrError = 1;          // unspecified
inline constexpr WaveResult kMmSysErrBadDeviceId = 2;
inline constexpr WaveResult kMmSysErrNotEnabled = 3;
inline constexpr WaveResult kMmSysErrAllocated = 4;
inline constexpr WaveResult kMmSysErrInvalHandle = 5;
inline constexpr WaveResult kMmSysErrNoDriver = 6;
inline constexpr WaveResult kMmSysErrNoMem = 7;
inline constexpr WaveResult kMmSysErrNotSupported = 8;
inline constexpr WaveResult kMmSysErrBadErrNum = 9;
inline constexpr WaveResult kMmSysErrInvalFlag = 10;
inline constexpr WaveResult kMmSysErrInvalParam = 11;
inline constexpr WaveResult kMmSysErrHandleBusy = 12;
inline constexpr WaveResult kMmSysErrNoDriverCb = 20;
inline constexpr WaveResult kWaveErrBadFormat = 32;
inline constexpr WaveResult kWaveErrStillPlaying = 33;
inline constexpr WaveResult kWaveErrUnprepared = 34;

// Callback messages.
inline constexpr std::uint32_t kWimOpen = 958;
inline constexpr std::uint32_t kWimClose = 959;
inline constexpr std::uint32_t kWimData = 960;

// Open flags.
inline constexpr std::uint32_t kWaveFormatQuery = 0x1;
inline constexpr std::uint32_t kCallbackFunction = 0x30000;

// Header flags.
inline constexpr std::uint32_t kWhdrDone = 0x1;
inline constexpr std::uint32_t kWhdrPrepared = 0x2;
inline constexpr std::uint32_t kWhdrInQueue = 0x10;

inline constexpr std::uint16_t kWaveFormatPcm = 1;

// Longest device name, in bytes.
inline constexpr std::size_t kMaxDeviceNameLength = 31;

struct TWaveFormat {
    std::uint16_t FormatTag = 0;
    std::uint16_t Channels = 0;
    std::uint32_t SamplesPerSec = 0;
    std::uint32_t AvgBytesPerSec = 0;
    std::uint16_t BlockAlign = 0;
    std::uint16_t BitsPerSample = 0;
    std::uint16_t ExtraSize = 0;
};

// A capture buffer as the driver sees it. Pass sizeof(TWaveHeader) as the
// header size.
struct TWaveHeader {
    unsigned char* Data = nullptr;
    std::uint32_t BufferLength = 0;
    std::uint32_t BytesRecorded = 0;
    std::uintptr_t User = 0;
    std::uint32_t Flags = 0;
    std::uint32_t Loops = 0;
    TWaveHeader* Next = nullptr;
    std::uintptr_t Reserved = 0;
};

// 0 is never a valid handle.
using THWaveIn = std::uintptr_t;

using TWaveInProc = void (*)(THWaveIn handle, std::uint32_t message, std::uintptr_t instance,
                             std::uintptr_t param1, std::uintptr_t param2);

// True for the one format the capture uses: PCM, mono, 16 bit, 44100 Hz.
bool IsCaptureFormat(const TWaveFormat& format);

// Cuts a name to at most kMaxDeviceNameLength bytes without splitting a
// UTF-8 sequence.
std::string CutDeviceName(const std::string& name);

// Header bookkeeping that every back end does the same way, under its own
// lock: the checks and flag changes of prepare, unprepare and queueing.
// QueueHeader marks the block queued; the caller appends it to its queue.
WaveResult MarkPrepared(TWaveHeader* header, std::uint32_t size);
WaveResult MarkUnprepared(TWaveHeader* header, std::uint32_t size);
WaveResult MarkQueued(TWaveHeader* header, std::uint32_t size);

class IWaveInDriver {
public:
    virtual ~IWaveInDriver() = default;

    virtual std::uint32_t GetNumDevs() = 0;
    // Fills name (empty when the query fails) and returns the query result.
    virtual WaveResult GetDevName(std::int32_t device, std::string& name) = 0;
    virtual WaveResult Open(THWaveIn* handle, std::int32_t device, const TWaveFormat& format,
                            TWaveInProc callback, std::uintptr_t instance, std::uint32_t flags) = 0;
    virtual WaveResult PrepareHeader(THWaveIn handle, TWaveHeader* header, std::uint32_t size) = 0;
    virtual WaveResult UnprepareHeader(THWaveIn handle, TWaveHeader* header, std::uint32_t size) = 0;
    virtual WaveResult AddBuffer(THWaveIn handle, TWaveHeader* header, std::uint32_t size) = 0;
    virtual WaveResult Start(THWaveIn handle) = 0;
    virtual WaveResult Reset(THWaveIn handle) = 0;
    virtual WaveResult Close(THWaveIn handle) = 0;

    // The cause behind the last failure in words for the user, when a
    // result code cannot say it (no sound server, for one); empty when
    // there is nothing to add.
    virtual std::string FailureCause() { return {}; }
};
