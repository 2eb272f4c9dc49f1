// Wave input from a sound file or a generated signal, for tests and
// offline work. It offers one device (number 0; -1 is the same device) and
// only the capture format (PCM mono 16 bit 44100 Hz). Blocks are filled
// on the driver's own thread, either at the pace of real time (input with
// no block queued is dropped, as with a card) or as fast as the callback
// returns (nothing is dropped: the driver waits for a queued block).
#pragma once

#include "WaveInDriver.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

enum class EWavePacing { RealTime, AsFastAsCallback };
enum class EEndOfInput { Stop, Loop };

struct TFileWaveOptions {
    EWavePacing Pacing = EWavePacing::AsFastAsCallback;
    // Stop: the last block is padded with silence, then no more blocks
    // come (queued ones return on Reset). Loop: start over.
    EEndOfInput AtEnd = EEndOfInput::Stop;
    // Empty: the file's name, or "Generated signal".
    std::string DeviceName;
};

class TFileWaveDriver final : public IWaveInDriver {
public:
    // Sample of the given frame number; the input never ends.
    using TGenerator = std::function<std::int16_t(std::uint64_t frame)>;

    explicit TFileWaveDriver(std::vector<std::int16_t> samples, TFileWaveOptions options = {});
    explicit TFileWaveDriver(TGenerator generator, TFileWaveOptions options = {});
    // Plays a sound file, mixed down to mono. When it cannot be read, or is
    // not at 44100 Hz, Open gives LoadResult() and LoadError() says why.
    static std::unique_ptr<TFileWaveDriver> FromFile(const std::string& path,
                                                     TFileWaveOptions options = {});
    ~TFileWaveDriver() override;
    TFileWaveDriver(const TFileWaveDriver&) = delete;
    TFileWaveDriver& operator=(const TFileWaveDriver&) = delete;

    // Reads a whole file as mono 16-bit samples. Returns 0, or
    // kMmSysErrBadDeviceId (unreadable) or kWaveErrBadFormat (not 44100 Hz),
    // with the reason in error.
    static WaveResult LoadSoundFile(const std::string& path, std::vector<std::int16_t>& samples,
                                    std::string& error);

    WaveResult LoadResult() const { return loadResult_; }
    const std::string& LoadError() const { return loadError_; }

    // True once the last sample has been delivered (Stop mode).
    bool EndOfInput() const { return ended_.load(std::memory_order_relaxed); }
    bool WaitEndOfInput(std::chrono::milliseconds timeout);
    std::uint64_t BlocksDelivered() const { return delivered_.load(std::memory_order_relaxed); }

    std::uint32_t GetNumDevs() override;
    WaveResult GetDevName(std::int32_t device, std::string& name) override;
    WaveResult Open(THWaveIn* handle, std::int32_t device, const TWaveFormat& format,
                    TWaveInProc callback, std::uintptr_t instance, std::uint32_t flags) override;
    WaveResult PrepareHeader(THWaveIn handle, TWaveHeader* header, std::uint32_t size) override;
    WaveResult UnprepareHeader(THWaveIn handle, TWaveHeader* header, std::uint32_t size) override;
    WaveResult AddBuffer(THWaveIn handle, TWaveHeader* header, std::uint32_t size) override;
    WaveResult Start(THWaveIn handle) override;
    WaveResult Reset(THWaveIn handle) override;
    WaveResult Close(THWaveIn handle) override;

private:
    TFileWaveDriver(TFileWaveOptions options, WaveResult loadResult, std::string loadError);
    WaveResult CheckHandle(THWaveIn handle) const;
    void Run();
    // Next count samples of the input; false when the input has ended.
    bool Produce(std::int16_t* out, std::size_t count);
    void Deliver(TWaveHeader* header);

    TFileWaveOptions options_;
    std::vector<std::int16_t> samples_;
    TGenerator generator_;
    std::uint64_t position_ = 0;  // driver thread only
    WaveResult loadResult_ = kMmSysErrNoError;
    std::string loadError_;

    std::mutex mutex_;
    std::condition_variable wake_;
    std::thread thread_;
    THWaveIn handle_ = 0;
    THWaveIn nextHandle_ = 1;
    TWaveInProc callback_ = nullptr;
    std::uintptr_t instance_ = 0;
    std::deque<TWaveHeader*> queue_;
    bool started_ = false;
    bool quit_ = false;
    bool resetRequested_ = false;
    std::atomic<bool> ended_{false};
    std::atomic<std::uint64_t> delivered_{0};
};
