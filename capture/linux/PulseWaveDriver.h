// Wave input from a PulseAudio sound server (PipeWire desktops serve the
// same protocol). Devices are the server's sources in the server's order,
// monitors of outputs included; device -1 is the server's default source.
// Capture is S16LE mono 44100 Hz in fragments of 2048 bytes. The driver
// thread is the server connection's event-loop thread.
//
// Every request that waits for the server gives it kAnswerBoundMs to
// answer. A server that lets that time pass (stopped, hung) is taken as
// gone for the rest of the driver's life: later requests fail at once, so
// that a start-up's many requests stay within one bound in all.
#pragma once

#include "WaveInDriver.h"

#include <deque>
#include <string>
#include <vector>

struct pa_threaded_mainloop;
struct pa_context;
struct pa_stream;
struct pa_operation;
struct pa_mainloop_api;
struct pa_time_event;
struct timeval;

class TPulseWaveDriver final : public IWaveInDriver {
public:
    static constexpr std::uint32_t kFragmentBytes = 2048;
    static constexpr std::uint32_t kAnswerBoundMs = 5000;
    static constexpr const char* kNoServerCause = "no sound server answers: start PulseAudio or PipeWire";

    explicit TPulseWaveDriver(std::string clientName = "Corvane Audio Analyzer");
    ~TPulseWaveDriver() override;
    TPulseWaveDriver(const TPulseWaveDriver&) = delete;
    TPulseWaveDriver& operator=(const TPulseWaveDriver&) = delete;

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
    std::string FailureCause() override;

    // Server-side name of a device (for diagnostics and tests); empty when
    // the device does not exist.
    std::string SourceName(std::int32_t device);

private:
    struct TSource {
        std::string Name;
        std::string Description;
    };
    class TLock;

    WaveResult Connect();
    WaveResult ListSources(std::vector<TSource>& sources);
    WaveResult DefaultSource(TSource& source);
    WaveResult ResolveDevice(std::int32_t device, TSource& source);
    void BeginRequest();
    template <typename Done>
    bool WaitAnswer(Done done);
    bool Await(pa_operation* op);
    bool ContextLost() const;
    WaveResult CheckHandle(THWaveIn handle) const;
    void DropStream();
    void Consume(const void* data, std::size_t bytes);
    void ReturnAll();
    void ReportLost(const char* reason);

    static void OnContextState(pa_context* c, void* self);
    static void OnStreamState(pa_stream* s, void* self);
    static void OnStreamRead(pa_stream* s, std::size_t bytes, void* self);
    static void OnAnswerTimeout(pa_mainloop_api* api, pa_time_event* e, const struct timeval* tv, void* self);

    std::string clientName_;
    pa_threaded_mainloop* loop_ = nullptr;
    pa_context* context_ = nullptr;
    pa_stream* stream_ = nullptr;

    // The open handle; touched only with the event loop locked or on its
    // thread.
    THWaveIn handle_ = 0;
    THWaveIn nextHandle_ = 1;
    TWaveInProc callback_ = nullptr;
    std::uintptr_t instance_ = 0;
    std::deque<TWaveHeader*> queue_;
    bool started_ = false;
    bool closing_ = false;
    bool lostReported_ = false;
    bool resetDone_ = false;

    // The current request's deadline on the server library's clock (us).
    std::uint64_t deadline_ = 0;
    bool answerTimedOut_ = false;
    // The server let a request's time pass: it is not asked again.
    bool silent_ = false;
    // The last connection attempt found no server that answers.
    bool noServer_ = false;
};
