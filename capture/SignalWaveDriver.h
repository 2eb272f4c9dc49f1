// Wave input from a generated signal, for tests: one device (number 0; -1
// is the same device) that offers only the capture format (PCM mono 16 bit
// 44100 Hz). Blocks are filled on the driver's own thread at the pace of
// real time; input with no block queued is dropped, as with a card.
#pragma once

#include "WaveInDriver.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class TSignalWaveDriver final : public IWaveInDriver {
public:
    // Sample of the given frame number; the input never ends.
    using TGenerator = std::function<std::int16_t(std::uint64_t frame)>;

    explicit TSignalWaveDriver(TGenerator generator, std::string deviceName = "Generated signal");
    ~TSignalWaveDriver() override;
    TSignalWaveDriver(const TSignalWaveDriver&) = delete;
    TSignalWaveDriver& operator=(const TSignalWaveDriver&) = delete;

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
    WaveResult CheckHandle(THWaveIn handle) const;
    void Run();
    void Produce(std::int16_t* out, std::size_t count);
    void Deliver(TWaveHeader* header);

    std::string deviceName_;
    TGenerator generator_;
    std::uint64_t position_ = 0;  // driver thread only

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
    std::atomic<std::uint64_t> delivered_{0};
};
