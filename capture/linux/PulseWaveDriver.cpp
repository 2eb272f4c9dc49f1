#include "PulseWaveDriver.h"

#include "WaveInRing.h"

#include <pulse/pulseaudio.h>
#include <pulse/rtclock.h>

#include <pthread.h>
#include <signal.h>

#include <algorithm>
#include <cstring>

// How server failures reach the user (the texts are those of DoError):
//
// | Server condition                                   | Code |
// |----------------------------------------------------|------|
// | no server answers, connection refused or lost      | 6    |
// | no answer within kAnswerBoundMs                    | 6    |
// | device number not among the sources, no default    | 2    |
// | source busy (PA_ERR_BUSY)                          | 4    |
// | access denied, bad cookie (PA_ERR_ACCESS/AUTHKEY)  | 3    |
// | format other than PCM mono 16 bit 44100 Hz         | 32   |
// | server refuses the sample format (NOTSUPPORTED)    | 32   |
// | timeout (PA_ERR_TIMEOUT)                           | 20   |
// | out of memory in the client library                | 7    |
// | handle not the open one                            | 5    |
// | a second open while one is open                    | 4    |
// | any other server error                             | 1    |
//
// Without a server the device count is 0, which the ring reports as
// "Unspecified error"; FailureCause() then names the missing server.

namespace {

WaveResult MapPulseError(int error)
{
    switch (error) {
    case PA_OK: return kMmSysErrNoError;
    case PA_ERR_CONNECTIONREFUSED:
    case PA_ERR_CONNECTIONTERMINATED:
    case PA_ERR_INVALIDSERVER: return kMmSysErrNoDriver;
    case PA_ERR_NOENTITY: return kMmSysErrBadDeviceId;
    case PA_ERR_BUSY: return kMmSysErrAllocated;
    case PA_ERR_ACCESS:
    case PA_ERR_AUTHKEY: return kMmSysErrNotEnabled;
    case PA_ERR_NOTSUPPORTED: return kWaveErrBadFormat;
    case PA_ERR_TIMEOUT: return kMmSysErrNoDriverCb;
    default: return kMmSysErrError;
    }
}

}  // namespace

// Locks the event loop, except on its own thread, where it is held already
// around every callback.
class TPulseWaveDriver::TLock {
public:
    explicit TLock(pa_threaded_mainloop* loop)
        : loop_(pa_threaded_mainloop_in_thread(loop) ? nullptr : loop)
    {
        if (loop_ != nullptr)
            pa_threaded_mainloop_lock(loop_);
    }
    ~TLock()
    {
        if (loop_ != nullptr)
            pa_threaded_mainloop_unlock(loop_);
    }
    TLock(const TLock&) = delete;
    TLock& operator=(const TLock&) = delete;

private:
    pa_threaded_mainloop* loop_;
};

TPulseWaveDriver::TPulseWaveDriver(std::string clientName) : clientName_(std::move(clientName))
{
    loop_ = pa_threaded_mainloop_new();
    if (loop_ != nullptr && pa_threaded_mainloop_start(loop_) < 0) {
        pa_threaded_mainloop_free(loop_);
        loop_ = nullptr;
    }
    if (loop_ == nullptr)
        return;
    // The event-loop thread blocks every signal, and a fault signal that
    // is blocked kills the process without its handler. The analysis runs
    // on this thread and writes the shared record, whose pages a host can
    // take away (SIGBUS): the record's fault handler must be able to run.
    pa_threaded_mainloop_lock(loop_);
    pa_mainloop_api_once(
        pa_threaded_mainloop_get_api(loop_),
        [](pa_mainloop_api*, void*) {
            sigset_t faults;
            sigemptyset(&faults);
            sigaddset(&faults, SIGBUS);
            sigaddset(&faults, SIGSEGV);
            pthread_sigmask(SIG_UNBLOCK, &faults, nullptr);
        },
        nullptr);
    pa_threaded_mainloop_unlock(loop_);
}

TPulseWaveDriver::~TPulseWaveDriver()
{
    if (loop_ == nullptr)
        return;
    pa_threaded_mainloop_lock(loop_);
    DropStream();
    if (context_ != nullptr) {
        pa_context_set_state_callback(context_, nullptr, nullptr);
        pa_context_disconnect(context_);
        pa_context_unref(context_);
        context_ = nullptr;
    }
    pa_threaded_mainloop_unlock(loop_);
    pa_threaded_mainloop_stop(loop_);
    pa_threaded_mainloop_free(loop_);
}

void TPulseWaveDriver::OnContextState(pa_context* /*c*/, void* self)
{
    pa_threaded_mainloop_signal(static_cast<TPulseWaveDriver*>(self)->loop_, 0);
}

void TPulseWaveDriver::OnAnswerTimeout(pa_mainloop_api*, pa_time_event*, const struct timeval*, void* self)
{
    auto* d = static_cast<TPulseWaveDriver*>(self);
    d->answerTimedOut_ = true;
    pa_threaded_mainloop_signal(d->loop_, 0);
}

void TPulseWaveDriver::BeginRequest()
{
    deadline_ = pa_rtclock_now() + static_cast<pa_usec_t>(kAnswerBoundMs) * PA_USEC_PER_MSEC;
}

// Waits, with the loop locked, until done() holds or the request's time is
// up; the server is then taken as silent. Needs a context for the timer.
template <typename Done>
bool TPulseWaveDriver::WaitAnswer(Done done)
{
    if (done())
        return true;
    if (!silent_ && context_ != nullptr && pa_rtclock_now() < deadline_) {
        answerTimedOut_ = false;
        pa_time_event* timer = pa_context_rttime_new(context_, deadline_, &OnAnswerTimeout, this);
        while (!done() && !answerTimedOut_ && timer != nullptr)
            pa_threaded_mainloop_wait(loop_);
        if (timer != nullptr)
            pa_threaded_mainloop_get_api(loop_)->time_free(timer);
        if (done())
            return true;
    }
    silent_ = true;
    noServer_ = true;
    return false;
}

void TPulseWaveDriver::OnStreamState(pa_stream* s, void* self)
{
    auto* d = static_cast<TPulseWaveDriver*>(self);
    const pa_stream_state_t state = pa_stream_get_state(s);
    if ((state == PA_STREAM_FAILED || state == PA_STREAM_TERMINATED) && !d->closing_ &&
        d->handle_ != 0) {
        d->ReportLost(pa_strerror(pa_context_errno(d->context_)));
    }
    pa_threaded_mainloop_signal(d->loop_, 0);
}

void TPulseWaveDriver::ReportLost(const char* reason)
{
    if (lostReported_)
        return;
    lostReported_ = true;
    started_ = false;
    PostCaptureInfo(std::string("Sound input lost (") + reason +
                    "); capture has stopped. Choose the sound card again to restart it.");
}

void TPulseWaveDriver::OnStreamRead(pa_stream* s, std::size_t /*bytes*/, void* self)
{
    auto* d = static_cast<TPulseWaveDriver*>(self);
    while (pa_stream_readable_size(s) > 0) {
        const void* data = nullptr;
        std::size_t n = 0;
        if (pa_stream_peek(s, &data, &n) < 0 || n == 0)
            break;
        d->Consume(data, n);  // data is null for a hole: silence
        pa_stream_drop(s);
    }
}

void TPulseWaveDriver::Consume(const void* data, std::size_t bytes)
{
    const auto* in = static_cast<const unsigned char*>(data);
    while (bytes > 0) {
        // Nothing queued (or stopped): the input is lost, as with a card.
        if (!started_ || queue_.empty())
            return;
        TWaveHeader* h = queue_.front();
        const std::size_t take =
            std::min<std::size_t>(bytes, h->BufferLength - h->BytesRecorded);
        if (in != nullptr) {
            std::memcpy(h->Data + h->BytesRecorded, in, take);
            in += take;
        } else {
            std::memset(h->Data + h->BytesRecorded, 0, take);
        }
        h->BytesRecorded += static_cast<std::uint32_t>(take);
        bytes -= take;
        if (h->BytesRecorded == h->BufferLength) {
            queue_.pop_front();
            h->Flags = (h->Flags & ~kWhdrInQueue) | kWhdrDone;
            callback_(handle_, kWimData, instance_, reinterpret_cast<std::uintptr_t>(h), 0);
        }
    }
}

bool TPulseWaveDriver::ContextLost() const
{
    return context_ == nullptr || pa_context_get_state(context_) != PA_CONTEXT_READY;
}

WaveResult TPulseWaveDriver::Connect()
{
    if (loop_ == nullptr)
        return kMmSysErrNoMem;
    if (silent_)
        return kMmSysErrNoDriver;
    if (!ContextLost())
        return kMmSysErrNoError;
    if (stream_ != nullptr)
        return kMmSysErrNoDriver;  // the open stream's server is gone
    if (context_ != nullptr) {
        pa_context_set_state_callback(context_, nullptr, nullptr);
        pa_context_disconnect(context_);
        pa_context_unref(context_);
        context_ = nullptr;
    }
    context_ = pa_context_new(pa_threaded_mainloop_get_api(loop_), clientName_.c_str());
    if (context_ == nullptr)
        return kMmSysErrNoMem;
    pa_context_set_state_callback(context_, &OnContextState, this);
    noServer_ = true;
    if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
        return kMmSysErrNoDriver;
    // A stopped server accepts the connection and never answers it.
    if (!WaitAnswer([this] { return !PA_CONTEXT_IS_GOOD(pa_context_get_state(context_)) ||
                                    pa_context_get_state(context_) == PA_CONTEXT_READY; }))
        return kMmSysErrNoDriver;
    if (pa_context_get_state(context_) != PA_CONTEXT_READY)
        return kMmSysErrNoDriver;
    noServer_ = false;
    return kMmSysErrNoError;
}

bool TPulseWaveDriver::Await(pa_operation* op)
{
    if (op == nullptr)
        return true;
    const bool answered = WaitAnswer([op] { return pa_operation_get_state(op) != PA_OPERATION_RUNNING; });
    // A cancelled operation never calls back into the caller's query.
    if (!answered)
        pa_operation_cancel(op);
    pa_operation_unref(op);
    return answered;
}

namespace {

struct TListQuery {
    pa_threaded_mainloop* Loop;
    std::vector<std::pair<std::string, std::string>> Sources;
};

struct TServerQuery {
    pa_threaded_mainloop* Loop;
    std::string DefaultSource;
};

struct TSourceQuery {
    pa_threaded_mainloop* Loop;
    bool Found = false;
    std::string Description;
};

}  // namespace

WaveResult TPulseWaveDriver::ListSources(std::vector<TSource>& sources)
{
    sources.clear();
    const WaveResult r = Connect();
    if (r != kMmSysErrNoError)
        return r;
    TListQuery q{loop_, {}};
    if (!Await(pa_context_get_source_info_list(
        context_,
        [](pa_context*, const pa_source_info* info, int eol, void* p) {
            auto* q = static_cast<TListQuery*>(p);
            if (eol == 0 && info != nullptr)
                q->Sources.emplace_back(info->name ? info->name : "",
                                        info->description ? info->description : "");
            if (eol != 0)
                pa_threaded_mainloop_signal(q->Loop, 0);
        },
        &q)) ||
        ContextLost())
        return kMmSysErrNoDriver;
    for (auto& s : q.Sources)
        sources.push_back({std::move(s.first), std::move(s.second)});
    return kMmSysErrNoError;
}

WaveResult TPulseWaveDriver::DefaultSource(TSource& source)
{
    const WaveResult r = Connect();
    if (r != kMmSysErrNoError)
        return r;
    TServerQuery sq{loop_, {}};
    if (!Await(pa_context_get_server_info(
        context_,
        [](pa_context*, const pa_server_info* info, void* p) {
            auto* q = static_cast<TServerQuery*>(p);
            if (info != nullptr && info->default_source_name != nullptr)
                q->DefaultSource = info->default_source_name;
            pa_threaded_mainloop_signal(q->Loop, 0);
        },
        &sq)) ||
        ContextLost())
        return kMmSysErrNoDriver;
    if (sq.DefaultSource.empty())
        return kMmSysErrBadDeviceId;

    TSourceQuery q{loop_, false, {}};
    if (!Await(pa_context_get_source_info_by_name(
        context_, sq.DefaultSource.c_str(),
        [](pa_context*, const pa_source_info* info, int eol, void* p) {
            auto* q = static_cast<TSourceQuery*>(p);
            if (eol == 0 && info != nullptr) {
                q->Found = true;
                q->Description = info->description ? info->description : "";
            }
            pa_threaded_mainloop_signal(q->Loop, 0);
        },
        &q)) ||
        ContextLost())
        return kMmSysErrNoDriver;
    if (!q.Found)
        return kMmSysErrBadDeviceId;
    source.Name = sq.DefaultSource;
    source.Description = q.Description;
    return kMmSysErrNoError;
}

WaveResult TPulseWaveDriver::ResolveDevice(std::int32_t device, TSource& source)
{
    if (device == -1)
        return DefaultSource(source);
    if (device < -1)
        return kMmSysErrBadDeviceId;
    std::vector<TSource> sources;
    const WaveResult r = ListSources(sources);
    if (r != kMmSysErrNoError)
        return r;
    if (static_cast<std::size_t>(device) >= sources.size())
        return kMmSysErrBadDeviceId;
    source = sources[static_cast<std::size_t>(device)];
    return kMmSysErrNoError;
}

std::uint32_t TPulseWaveDriver::GetNumDevs()
{
    if (loop_ == nullptr)
        return 0;
    TLock lock(loop_);
    BeginRequest();
    std::vector<TSource> sources;
    if (ListSources(sources) != kMmSysErrNoError)
        return 0;
    return static_cast<std::uint32_t>(sources.size());
}

WaveResult TPulseWaveDriver::GetDevName(std::int32_t device, std::string& name)
{
    name.clear();
    if (loop_ == nullptr)
        return kMmSysErrNoMem;
    TLock lock(loop_);
    BeginRequest();
    TSource source;
    const WaveResult r = ResolveDevice(device, source);
    if (r == kMmSysErrNoError)
        name = CutDeviceName(source.Description.empty() ? source.Name : source.Description);
    return r;
}

std::string TPulseWaveDriver::SourceName(std::int32_t device)
{
    if (loop_ == nullptr)
        return {};
    TLock lock(loop_);
    BeginRequest();
    TSource source;
    return ResolveDevice(device, source) == kMmSysErrNoError ? source.Name : std::string();
}

WaveResult TPulseWaveDriver::Open(THWaveIn* handle, std::int32_t device,
                                  const TWaveFormat& format, TWaveInProc callback,
                                  std::uintptr_t instance, std::uint32_t flags)
{
    if (loop_ == nullptr)
        return kMmSysErrNoMem;
    const bool query = (flags & kWaveFormatQuery) != 0;
    if (!query && (handle == nullptr || callback == nullptr))
        return kMmSysErrInvalParam;
    if (!IsCaptureFormat(format))
        return kWaveErrBadFormat;

    TLock lock(loop_);
    BeginRequest();
    TSource source;
    WaveResult r = ResolveDevice(device, source);
    if (r != kMmSysErrNoError || query)
        return r;
    if (stream_ != nullptr)
        return kMmSysErrAllocated;

    const pa_sample_spec serverFormat{PA_SAMPLE_S16LE, 44100, 1};
    stream_ = pa_stream_new(context_, "Capture", &serverFormat, nullptr);
    if (stream_ == nullptr)
        return kMmSysErrNoMem;
    pa_buffer_attr attr;
    attr.maxlength = static_cast<std::uint32_t>(-1);
    attr.tlength = static_cast<std::uint32_t>(-1);
    attr.prebuf = static_cast<std::uint32_t>(-1);
    attr.minreq = static_cast<std::uint32_t>(-1);
    attr.fragsize = kFragmentBytes;
    closing_ = false;
    lostReported_ = false;
    started_ = false;
    pa_stream_set_state_callback(stream_, &OnStreamState, this);
    pa_stream_set_read_callback(stream_, &OnStreamRead, this);
    if (pa_stream_connect_record(
            stream_, source.Name.c_str(), &attr,
            static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_START_CORKED)) <
        0) {
        r = MapPulseError(pa_context_errno(context_));
        DropStream();
        return r == kMmSysErrNoError ? kMmSysErrError : r;
    }
    if (!WaitAnswer([this] { return pa_stream_get_state(stream_) != PA_STREAM_CREATING; })) {
        DropStream();
        return kMmSysErrNoDriver;
    }
    if (pa_stream_get_state(stream_) != PA_STREAM_READY) {
        r = MapPulseError(pa_context_errno(context_));
        DropStream();
        return r == kMmSysErrNoError ? kMmSysErrError : r;
    }

    handle_ = nextHandle_++;
    callback_ = callback;
    instance_ = instance;
    queue_.clear();
    *handle = handle_;
    return kMmSysErrNoError;
}

void TPulseWaveDriver::DropStream()
{
    if (stream_ == nullptr)
        return;
    closing_ = true;
    pa_stream_set_state_callback(stream_, nullptr, nullptr);
    pa_stream_set_read_callback(stream_, nullptr, nullptr);
    if (PA_STREAM_IS_GOOD(pa_stream_get_state(stream_)))
        pa_stream_disconnect(stream_);
    pa_stream_unref(stream_);
    stream_ = nullptr;
}

WaveResult TPulseWaveDriver::CheckHandle(THWaveIn handle) const
{
    return handle != 0 && handle == handle_ ? kMmSysErrNoError : kMmSysErrInvalHandle;
}

WaveResult TPulseWaveDriver::PrepareHeader(THWaveIn handle, TWaveHeader* header,
                                           std::uint32_t size)
{
    if (loop_ == nullptr)
        return kMmSysErrInvalHandle;
    TLock lock(loop_);
    if (const WaveResult r = CheckHandle(handle))
        return r;
    return MarkPrepared(header, size);
}

WaveResult TPulseWaveDriver::UnprepareHeader(THWaveIn handle, TWaveHeader* header,
                                             std::uint32_t size)
{
    if (loop_ == nullptr)
        return kMmSysErrInvalHandle;
    TLock lock(loop_);
    if (const WaveResult r = CheckHandle(handle))
        return r;
    return MarkUnprepared(header, size);
}

WaveResult TPulseWaveDriver::AddBuffer(THWaveIn handle, TWaveHeader* header, std::uint32_t size)
{
    if (loop_ == nullptr)
        return kMmSysErrInvalHandle;
    TLock lock(loop_);
    if (const WaveResult r = CheckHandle(handle))
        return r;
    if (const WaveResult r = MarkQueued(header, size))
        return r;
    queue_.push_back(header);
    return kMmSysErrNoError;
}

WaveResult TPulseWaveDriver::Start(THWaveIn handle)
{
    if (loop_ == nullptr)
        return kMmSysErrInvalHandle;
    TLock lock(loop_);
    if (const WaveResult r = CheckHandle(handle))
        return r;
    if (stream_ == nullptr || pa_stream_get_state(stream_) != PA_STREAM_READY)
        return kMmSysErrNoDriver;
    BeginRequest();
    started_ = true;
    const bool answered = Await(pa_stream_cork(
        stream_, 0,
        [](pa_stream*, int, void* p) {
            pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(p), 0);
        },
        loop_));
    if (!answered || ContextLost()) {
        started_ = false;
        return kMmSysErrNoDriver;
    }
    return kMmSysErrNoError;
}

void TPulseWaveDriver::ReturnAll()
{
    while (!queue_.empty()) {
        TWaveHeader* h = queue_.front();
        queue_.pop_front();
        h->Flags = (h->Flags & ~kWhdrInQueue) | kWhdrDone;
        callback_(handle_, kWimData, instance_, reinterpret_cast<std::uintptr_t>(h), 0);
    }
}

WaveResult TPulseWaveDriver::Reset(THWaveIn handle)
{
    if (loop_ == nullptr)
        return kMmSysErrInvalHandle;
    TLock lock(loop_);
    if (const WaveResult r = CheckHandle(handle))
        return r;
    started_ = false;
    if (stream_ != nullptr && pa_stream_get_state(stream_) == PA_STREAM_READY) {
        if (pa_operation* op = pa_stream_cork(stream_, 1, nullptr, nullptr))
            pa_operation_unref(op);
    }
    if (pa_threaded_mainloop_in_thread(loop_)) {
        ReturnAll();
        return kMmSysErrNoError;
    }
    // The blocks go back through the callback on the event-loop thread.
    resetDone_ = false;
    pa_mainloop_api_once(
        pa_threaded_mainloop_get_api(loop_),
        [](pa_mainloop_api*, void* p) {
            auto* d = static_cast<TPulseWaveDriver*>(p);
            d->ReturnAll();
            d->resetDone_ = true;
            pa_threaded_mainloop_signal(d->loop_, 0);
        },
        this);
    while (!resetDone_)
        pa_threaded_mainloop_wait(loop_);
    return kMmSysErrNoError;
}

WaveResult TPulseWaveDriver::Close(THWaveIn handle)
{
    if (loop_ == nullptr)
        return kMmSysErrInvalHandle;
    TLock lock(loop_);
    if (const WaveResult r = CheckHandle(handle))
        return r;
    if (!queue_.empty())
        return kWaveErrStillPlaying;
    DropStream();
    handle_ = 0;
    callback_ = nullptr;
    started_ = false;
    return kMmSysErrNoError;
}

std::string TPulseWaveDriver::FailureCause()
{
    if (loop_ == nullptr)
        return {};
    TLock lock(loop_);
    return noServer_ ? kNoServerCause : std::string();
}
