#include "WaveInRing.h"

#include "BlockAnalysis.h"
#include "CaptureState.h"
#include "Platform.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>

std::int32_t DeviceId = -1;
std::string DeviceName;
std::atomic<std::int32_t> CurrentBlock{0};
std::atomic<std::uint32_t> BlocksReceived{0};

namespace {

struct TRingBlock {
    TWaveHeader Header;
    unsigned char Data[kBlockBytes];
};

// The capture state. The handle cell pointer is read by the callback as the
// sign that a device is open; the blocks are handed back and forth through
// the driver, which orders the accesses.
struct TCaptureState {
    std::int32_t DeviceNumber = 0;
    std::unique_ptr<TWaveFormat> Format;
    std::atomic<THWaveIn*> HandleCell{nullptr};
    TRingBlock Blocks[kRingBlocks];
};

TCaptureState g_state;
std::atomic<IWaveInDriver*> g_driver{nullptr};
std::atomic<ICaptureUi*> g_ui{nullptr};

constexpr std::uint32_t kHeaderSize = sizeof(TWaveHeader);

IWaveInDriver& Driver()
{
    return *g_driver.load(std::memory_order_relaxed);
}

ICaptureUi& Ui()
{
    return *g_ui.load(std::memory_order_relaxed);
}

THWaveIn* HandleCell()
{
    return g_state.HandleCell.load(std::memory_order_relaxed);
}

void SetHandleCell(THWaveIn* cell)
{
    g_state.HandleCell.store(cell, std::memory_order_relaxed);
    DeviceHandlePresent.store(cell != nullptr, std::memory_order_relaxed);
}

void FreeHandleCell()
{
    THWaveIn* cell = HandleCell();
    SetHandleCell(nullptr);
    delete cell;
}

[[noreturn]] void Fatal(WaveResult code)
{
    // The box keeps its fixed text; a user who started the program from a
    // terminal also learns what is missing.
    const std::string cause = Driver().FailureCause();
    if (!cause.empty()) {
        std::fprintf(stderr, "%s: %s\n", VxPlatform::ProgramName().c_str(), cause.c_str());
        std::fflush(stderr);
    }
    DoError(code);
    Ui().EndProgram();
    std::abort();  // an EndProgram that returns must not let the caller go on
}

int Next(int block)
{
    return (block + 1) % kRingBlocks;
}

int Previous(int block)
{
    return (block + kRingBlocks - 1) % kRingBlocks;
}

// Samples are little-endian whatever the host order is.
void CopyToSampleBlock(const unsigned char* data)
{
    for (int i = 0; i < kSamplesPerBlock; ++i) {
        const auto v = static_cast<std::uint16_t>(data[2 * i] | (data[2 * i + 1] << 8));
        SampleBlock[i].store(static_cast<std::int16_t>(v), std::memory_order_relaxed);
    }
}

}  // namespace

void SetWaveInDriver(IWaveInDriver* driver)
{
    g_driver.store(driver, std::memory_order_relaxed);
}

IWaveInDriver* WaveInDriver()
{
    return g_driver.load(std::memory_order_relaxed);
}

void SetCaptureUi(ICaptureUi* ui)
{
    g_ui.store(ui, std::memory_order_relaxed);
}

ICaptureUi* CaptureUi()
{
    return g_ui.load(std::memory_order_relaxed);
}

TWaveHeader* RingBlockHeader(int block)
{
    if (block < 0 || block >= kRingBlocks)
        return nullptr;
    return &g_state.Blocks[block].Header;
}

int RingBlockIndex(const TWaveHeader* header)
{
    for (int i = 0; i < kRingBlocks; ++i)
        if (header == &g_state.Blocks[i].Header)
            return i;
    return -1;
}

bool WaveInOpen()
{
    return HandleCell() != nullptr;
}

void PostCaptureInfo(const std::string& text)
{
    if (ICaptureUi* ui = CaptureUi())
        ui->PostInfo(text);
}

const char* WaveInErrorText(WaveResult code)
{
    static const char* const kTexts[] = {
        "No error",
        "Unspecified error",
        "Sound Card not existing",
        "Sound Card failed to enable",
        "Sound Card already in use",
        "Sound device handle invalid",
        "No sound card device driver present",
        "Memory allocation error",
        "Function not supported by sound card device driver",
        "Value out of range",
        "Invalid flag passed",
        "Invalid parameter passed",
        "Handle being used simultaneously on another thread",
        "Specified alias not found",
        "Bad registry database",
        "Registry key not found",
        "Registry read error",
        "Registry write error",
        "Registry delete error",
        "Registry value not found",
        "Driver does not respond (DriverCallBack)",
    };
    if (code < std::size(kTexts))
        return kTexts[code];
    return "Unknown error";
}

void DoError(WaveResult code)
{
    Ui().ShowError(WaveInErrorText(code));
}

std::string GetDeviceName(std::int32_t device)
{
    std::string name;
    Driver().GetDevName(device, name);
    return CutDeviceName(name);
}

void PrepareBlock(int block)
{
    THWaveIn* cell = HandleCell();
    if (cell == nullptr)
        return;
    TRingBlock& b = g_state.Blocks[block];
    b.Header = TWaveHeader{};
    std::memset(b.Data, 0, sizeof b.Data);
    b.Header.Data = b.Data;
    b.Header.BufferLength = kBlockBytes;
    Driver().PrepareHeader(*cell, &b.Header, kHeaderSize);
}

WaveResult AddBlock(int block)
{
    THWaveIn* cell = HandleCell();
    if (cell == nullptr)
        return kMmSysErrInvalHandle;
    return Driver().AddBuffer(*cell, &g_state.Blocks[block].Header, kHeaderSize);
}

void OpenWaveIn()
{
    CurrentBlock.store(0, std::memory_order_relaxed);
    g_state.DeviceNumber = DeviceId;

    IWaveInDriver& driver = Driver();
    if (driver.GetNumDevs() == 0)
        Fatal(kMmSysErrError);

    if (!g_state.Format)
        g_state.Format = std::make_unique<TWaveFormat>();
    TWaveFormat& format = *g_state.Format;
    format.FormatTag = kWaveFormatPcm;
    format.Channels = 1;
    format.SamplesPerSec = 44100;
    format.BitsPerSample = 16;
    format.BlockAlign = static_cast<std::uint16_t>(format.Channels * (format.BitsPerSample / 8));
    format.AvgBytesPerSec = format.SamplesPerSec * format.BlockAlign;

    WaveResult r = driver.Open(nullptr, g_state.DeviceNumber, format, nullptr, 0, kWaveFormatQuery);
    if (r != kMmSysErrNoError)
        Fatal(r);

    SetHandleCell(new THWaveIn{0});
    r = driver.Open(HandleCell(), g_state.DeviceNumber, format, &WaveInProc, 0, kCallbackFunction);
    if (r != kMmSysErrNoError) {
        // Nothing is open: keep "handle cell present" meaning "device open"
        // for the analysis and the callback while the message is shown.
        FreeHandleCell();
        Fatal(r);
    }

    for (int i = 0; i < kRingBlocks; ++i)
        PrepareBlock(i);
    for (int i = 0; i < kRingBlocks - 1; ++i)
        AddBlock(i);

    DeviceName = GetDeviceName(g_state.DeviceNumber);
}

void StartWaveIn()
{
    // Set before the start: a first block returned before the store would
    // be taken for a drained one and released, and its re-queue would then
    // fail on every later block.
    Recording.store(1, std::memory_order_relaxed);
    THWaveIn* cell = HandleCell();
    const WaveResult r = cell != nullptr ? Driver().Start(*cell) : kMmSysErrInvalHandle;
    if (r != kMmSysErrNoError) {
        Recording.store(0, std::memory_order_relaxed);
        Fatal(r);
    }
}

void CloseWaveIn()
{
    Recording.store(0, std::memory_order_relaxed);

    if (THWaveIn* cell = HandleCell()) {
        IWaveInDriver& driver = Driver();
        const THWaveIn handle = *cell;
        const int out = Previous(CurrentBlock.load(std::memory_order_relaxed));
        driver.UnprepareHeader(handle, &g_state.Blocks[out].Header, kHeaderSize);

        // The driver returns the queued blocks meanwhile; the window keeps
        // working.
        const std::uint32_t start = VxPlatform::TickCount();
        while (static_cast<std::uint32_t>(VxPlatform::TickCount() - start) < kDrainMs) {
            Ui().ProcessMessages();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }

        if (driver.Reset(handle) != kMmSysErrNoError)
            Ui().ShowError("Could not reset wave in");

        const WaveResult r = driver.Close(handle);
        const char* second = nullptr;
        switch (r) {
        case kMmSysErrInvalHandle: second = "- Specified device handle is invalid"; break;
        case kMmSysErrNoDriver: second = "- No device driver is present"; break;
        case kMmSysErrNoMem: second = "- Unable to allocate or lock memory"; break;
        case kWaveErrStillPlaying: second = "- There are still buffers in the queue"; break;
        default: break;
        }
        if (second != nullptr)
            Ui().ShowError(std::string("Could not close wave input device\n") + second);
    }

    FreeHandleCell();
    g_state.Format.reset();
}

void WaveInProc(THWaveIn /*handle*/, std::uint32_t message, std::uintptr_t /*instance*/,
                std::uintptr_t /*param1*/, std::uintptr_t /*param2*/)
{
    THWaveIn* cell = HandleCell();
    if (cell == nullptr)
        return;
    if (message != kWimData)
        return;

    const int current = CurrentBlock.load(std::memory_order_relaxed);
    if (Recording.load(std::memory_order_relaxed) == 1) {
        const int previous = Previous(current);
        if (AddBlock(previous) != kMmSysErrNoError) {
            PostCaptureInfo("Could not add block no. " + std::to_string(previous));
            return;
        }
        CopyToSampleBlock(g_state.Blocks[current].Data);
        CurrentBlock.store(Next(current), std::memory_order_relaxed);
        BlocksReceived.store(BlocksReceived.load(std::memory_order_relaxed) + 1,
                             std::memory_order_relaxed);
        AnalyseBlock();
        return;
    }

    if (Driver().UnprepareHeader(*cell, &g_state.Blocks[current].Header, kHeaderSize) !=
        kMmSysErrNoError)
        PostCaptureInfo("Could not unprepare header for block no. " + std::to_string(current));
    CurrentBlock.store(Next(current), std::memory_order_relaxed);
}
