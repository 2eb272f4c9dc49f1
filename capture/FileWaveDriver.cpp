#include "FileWaveDriver.h"

#include <sndfile.h>

#include <algorithm>
#include <cstring>

namespace {

constexpr std::size_t kSamplesPerDriverBlock = 1024;
constexpr auto kBlockDuration = std::chrono::duration<double>(1024.0 / 44100.0);

std::string BaseName(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

TFileWaveDriver::TFileWaveDriver(std::vector<std::int16_t> samples, TFileWaveOptions options)
    : options_(std::move(options)), samples_(std::move(samples))
{
    if (options_.DeviceName.empty())
        options_.DeviceName = "Sound file";
}

TFileWaveDriver::TFileWaveDriver(TGenerator generator, TFileWaveOptions options)
    : options_(std::move(options)), generator_(std::move(generator))
{
    if (options_.DeviceName.empty())
        options_.DeviceName = "Generated signal";
}

TFileWaveDriver::TFileWaveDriver(TFileWaveOptions options, WaveResult loadResult,
                                 std::string loadError)
    : options_(std::move(options)), loadResult_(loadResult), loadError_(std::move(loadError))
{
}

std::unique_ptr<TFileWaveDriver> TFileWaveDriver::FromFile(const std::string& path,
                                                           TFileWaveOptions options)
{
    if (options.DeviceName.empty())
        options.DeviceName = BaseName(path);
    std::vector<std::int16_t> samples;
    std::string error;
    const WaveResult r = LoadSoundFile(path, samples, error);
    if (r != kMmSysErrNoError)
        return std::unique_ptr<TFileWaveDriver>(new TFileWaveDriver(std::move(options), r, error));
    return std::make_unique<TFileWaveDriver>(std::move(samples), std::move(options));
}

TFileWaveDriver::~TFileWaveDriver()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        quit_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable())
        thread_.join();
}

WaveResult TFileWaveDriver::LoadSoundFile(const std::string& path,
                                          std::vector<std::int16_t>& samples, std::string& error)
{
    samples.clear();
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) {
        error = path + ": " + sf_strerror(nullptr);
        return kMmSysErrBadDeviceId;
    }
    if (info.samplerate != 44100 || info.channels < 1) {
        error = path + ": " + std::to_string(info.samplerate) +
                " Hz; only 44100 Hz sound files can be played";
        sf_close(file);
        return kWaveErrBadFormat;
    }
    const auto channels = static_cast<std::size_t>(info.channels);
    std::vector<std::int16_t> frames(4096 * channels);
    for (;;) {
        const sf_count_t got = sf_readf_short(file, frames.data(), 4096);
        if (got <= 0)
            break;
        for (sf_count_t f = 0; f < got; ++f) {
            std::int32_t sum = 0;
            for (std::size_t c = 0; c < channels; ++c)
                sum += frames[static_cast<std::size_t>(f) * channels + c];
            samples.push_back(static_cast<std::int16_t>(sum / static_cast<std::int32_t>(channels)));
        }
    }
    sf_close(file);
    return kMmSysErrNoError;
}

bool TFileWaveDriver::WaitEndOfInput(std::chrono::milliseconds timeout)
{
    const auto until = std::chrono::steady_clock::now() + timeout;
    while (!EndOfInput()) {
        if (std::chrono::steady_clock::now() >= until)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

std::uint32_t TFileWaveDriver::GetNumDevs()
{
    return 1;
}

WaveResult TFileWaveDriver::GetDevName(std::int32_t device, std::string& name)
{
    name.clear();
    if (device != -1 && device != 0)
        return kMmSysErrBadDeviceId;
    name = CutDeviceName(options_.DeviceName);
    return kMmSysErrNoError;
}

WaveResult TFileWaveDriver::CheckHandle(THWaveIn handle) const
{
    return handle != 0 && handle == handle_ ? kMmSysErrNoError : kMmSysErrInvalHandle;
}

WaveResult TFileWaveDriver::Open(THWaveIn* handle, std::int32_t device, const TWaveFormat& format,
                                 TWaveInProc callback, std::uintptr_t instance,
                                 std::uint32_t flags)
{
    if (device != -1 && device != 0)
        return kMmSysErrBadDeviceId;
    if (loadResult_ != kMmSysErrNoError)
        return loadResult_;
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

WaveResult TFileWaveDriver::PrepareHeader(THWaveIn handle, TWaveHeader* header, std::uint32_t size)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (const WaveResult r = CheckHandle(handle))
        return r;
    return MarkPrepared(header, size);
}

WaveResult TFileWaveDriver::UnprepareHeader(THWaveIn handle, TWaveHeader* header,
                                            std::uint32_t size)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (const WaveResult r = CheckHandle(handle))
        return r;
    return MarkUnprepared(header, size);
}

WaveResult TFileWaveDriver::AddBuffer(THWaveIn handle, TWaveHeader* header, std::uint32_t size)
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

WaveResult TFileWaveDriver::Start(THWaveIn handle)
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

WaveResult TFileWaveDriver::Reset(THWaveIn handle)
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

WaveResult TFileWaveDriver::Close(THWaveIn handle)
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

bool TFileWaveDriver::Produce(std::int16_t* out, std::size_t count)
{
    if (generator_) {
        for (std::size_t i = 0; i < count; ++i)
            out[i] = generator_(position_++);
        return true;
    }
    std::size_t done = 0;
    while (done < count) {
        if (position_ >= samples_.size()) {
            if (options_.AtEnd == EEndOfInput::Loop && !samples_.empty()) {
                position_ = 0;
                continue;
            }
            std::fill(out + done, out + count, std::int16_t{0});
            return false;
        }
        const std::size_t take =
            std::min<std::size_t>(count - done, samples_.size() - static_cast<std::size_t>(position_));
        std::copy_n(samples_.begin() + static_cast<std::ptrdiff_t>(position_), take, out + done);
        position_ += take;
        done += take;
    }
    return options_.AtEnd == EEndOfInput::Loop || position_ < samples_.size();
}

void TFileWaveDriver::Deliver(TWaveHeader* header)
{
    // Little-endian bytes, whatever the host order.
    std::vector<std::int16_t> block(header->BufferLength / 2);
    const bool more = Produce(block.data(), block.size());
    for (std::size_t i = 0; i < block.size(); ++i) {
        const auto v = static_cast<std::uint16_t>(block[i]);
        header->Data[2 * i] = static_cast<unsigned char>(v & 0xFF);
        header->Data[2 * i + 1] = static_cast<unsigned char>(v >> 8);
    }
    header->BytesRecorded = static_cast<std::uint32_t>(block.size() * 2);
    if (!more)
        ended_.store(true, std::memory_order_relaxed);
}

void TFileWaveDriver::Run()
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
        if (!started_ || ended_.load(std::memory_order_relaxed)) {
            running = false;
            wake_.wait(lock);
            continue;
        }
        if (!running) {
            // Like a card, the first block is full one block after the start.
            running = true;
            due = Clock::now() + std::chrono::duration_cast<Clock::duration>(kBlockDuration);
        }
        if (options_.Pacing == EWavePacing::RealTime) {
            if (Clock::now() < due) {
                wake_.wait_until(lock, due);
                continue;
            }
            due += std::chrono::duration_cast<Clock::duration>(kBlockDuration);
            if (queue_.empty()) {
                lock.unlock();
                if (!Produce(dropped.data(), dropped.size()))
                    ended_.store(true, std::memory_order_relaxed);
                lock.lock();
                continue;
            }
        } else if (queue_.empty()) {
            wake_.wait(lock);
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
