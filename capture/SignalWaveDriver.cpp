#include "SignalWaveDriver.h"

namespace {

constexpr std::size_t kSamplesPerDriverBlock = 1024;
constexpr auto kBlockDuration = std::chrono::duration<double>(1024.0 / 44100.0);

}  // namespace

TSignalWaveDriver::TSignalWaveDriver(TGenerator generator, std::string deviceName)
    : deviceName_(std::move(deviceName)), generator_(std::move(generator))
{
}

TSignalWaveDriver::~TSignalWaveDriver()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        quit_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable())
        thread_.join();
}

std::uint32_t TSignalWaveDriver::GetNumDevs()
{
    return 1;
}

WaveResult TSignalWaveDriver::GetDevName(std::int32_t device, std::string& name)
{
    name.clear();
    if (device != -1 && device != 0)
        return kMmSysErrBadDeviceId;
    name = CutDeviceName(deviceName_);
    return kMmSysErrNoError;
}

WaveResult TSignalWaveDriver::CheckHandle(THWaveIn handle) const
{
    return handle != 0 && handle == handle_ ? kMmSysErrNoError : kMmSysErrInvalHandle;
}

WaveResult TSignalWaveDriver::Open(THWaveIn* handle, std::int32_t device, const TWaveFormat& format,
                                 TWaveInProc callback, std::uintptr_t instance,
                                 std::uint32_t flags)
{
    if (device != -1 && device != 0)
        return kMmSysErrBadDeviceId;
    if (!IsCaptureFormat(format))
        return kWaveErrBadFormat;
    if ((flags & kWaveFormatQuery) != 0)
        return kMmSysErrNoError;
    if (handle == nullptr || callback == nullptr)
        return kMmSysErrInvalParam;

    std::lock_guard<std::mutex> lock(mutex_);
    if (handle_ != 0)
        return kMmSysErrAllocated;
    handle_ = nextHandle_++;
    callback_ = callback;
    instance_ = instance;
    queue_.clear();
    started_ = false;
    quit_ = false;
    resetRequested_ = false;
    *handle = handle_;
    thread_ = std::thread([this] { Run(); });
    return kMmSysErrNoError;
}

WaveResult TSignalWaveDriver::PrepareHeader(THWaveIn handle, TWaveHeader* header, std::uint32_t size)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (const WaveResult r = CheckHandle(handle))
        return r;
    return MarkPrepared(header, size);
}

WaveResult TSignalWaveDriver::UnprepareHeader(THWaveIn handle, TWaveHeader* header,
                                            std::uint32_t size)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (const WaveResult r = CheckHandle(handle))
        return r;
    return MarkUnprepared(header, size);
}

WaveResult TSignalWaveDriver::AddBuffer(THWaveIn handle, TWaveHeader* header, std::uint32_t size)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (const WaveResult r = CheckHandle(handle))
            return r;
        if (const WaveResult r = MarkQueued(header, size))
            return r;
        queue_.push_back(header);
    }
    wake_.notify_all();
    return kMmSysErrNoError;
}

WaveResult TSignalWaveDriver::Start(THWaveIn handle)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (const WaveResult r = CheckHandle(handle))
            return r;
        started_ = true;
    }
    wake_.notify_all();
    return kMmSysErrNoError;
}

WaveResult TSignalWaveDriver::Reset(THWaveIn handle)
{
    std::unique_lock<std::mutex> lock(mutex_);
    if (const WaveResult r = CheckHandle(handle))
        return r;
    started_ = false;
    if (std::this_thread::get_id() == thread_.get_id()) {
        // From inside the callback: return them right here.
        std::deque<TWaveHeader*> queued;
        queued.swap(queue_);
        for (TWaveHeader* h : queued)
            h->Flags = (h->Flags & ~kWhdrInQueue) | kWhdrDone;
        lock.unlock();
        for (TWaveHeader* h : queued)
            callback_(handle_, kWimData, instance_, reinterpret_cast<std::uintptr_t>(h), 0);
        return kMmSysErrNoError;
    }
    resetRequested_ = true;
    wake_.notify_all();
    wake_.wait(lock, [this] { return !resetRequested_; });
    return kMmSysErrNoError;
}

WaveResult TSignalWaveDriver::Close(THWaveIn handle)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (const WaveResult r = CheckHandle(handle))
            return r;
        if (!queue_.empty())
            return kWaveErrStillPlaying;
        if (std::this_thread::get_id() == thread_.get_id())
            return kMmSysErrHandleBusy;
        quit_ = true;
    }
    wake_.notify_all();
    thread_.join();
    std::lock_guard<std::mutex> lock(mutex_);
    handle_ = 0;
    callback_ = nullptr;
    started_ = false;
    return kMmSysErrNoError;
}

void TSignalWaveDriver::Produce(std::int16_t* out, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i)
        out[i] = generator_(position_++);
}

void TSignalWaveDriver::Deliver(TWaveHeader* header)
{
    // Little-endian bytes, whatever the host order.
    std::vector<std::int16_t> block(header->BufferLength / 2);
    Produce(block.data(), block.size());
    for (std::size_t i = 0; i < block.size(); ++i) {
        const auto v = static_cast<std::uint16_t>(block[i]);
        header->Data[2 * i] = static_cast<unsigned char>(v & 0xFF);
        header->Data[2 * i + 1] = static_cast<unsigned char>(v >> 8);
    }
    header->BytesRecorded = static_cast<std::uint32_t>(block.size() * 2);
}

void TSignalWaveDriver::Run()
{
    using Clock = std::chrono::steady_clock;
    std::unique_lock<std::mutex> lock(mutex_);
    auto due = Clock::now();
    bool running = false;
    std::vector<std::int16_t> dropped(kSamplesPerDriverBlock);
    while (!quit_) {
        if (resetRequested_) {
            std::deque<TWaveHeader*> queued;
            queued.swap(queue_);
            for (TWaveHeader* h : queued)
                h->Flags = (h->Flags & ~kWhdrInQueue) | kWhdrDone;
            lock.unlock();
            for (TWaveHeader* h : queued)
                callback_(handle_, kWimData, instance_, reinterpret_cast<std::uintptr_t>(h), 0);
            lock.lock();
            resetRequested_ = false;
            running = false;
            wake_.notify_all();
            continue;
        }
        if (!started_) {
            running = false;
            wake_.wait(lock);
            continue;
        }
        if (!running) {
            // Like a card, the first block is full one block after the start.
            running = true;
            due = Clock::now() + std::chrono::duration_cast<Clock::duration>(kBlockDuration);
        }
        if (Clock::now() < due) {
            wake_.wait_until(lock, due);
            continue;
        }
        due += std::chrono::duration_cast<Clock::duration>(kBlockDuration);
        if (queue_.empty()) {
            lock.unlock();
            Produce(dropped.data(), dropped.size());
            lock.lock();
            continue;
        }
        TWaveHeader* h = queue_.front();
        queue_.pop_front();
        h->Flags &= ~kWhdrInQueue;
        lock.unlock();
        Deliver(h);
        lock.lock();
        h->Flags |= kWhdrDone;
        lock.unlock();
        delivered_.store(delivered_.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
        callback_(handle_, kWimData, instance_, reinterpret_cast<std::uintptr_t>(h), 0);
        lock.lock();
    }
}
