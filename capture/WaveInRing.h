// The capture block ring: opens the chosen wave-input device, keeps 24 of
// 25 blocks queued at the driver, copies every filled block into
// SampleBlock and runs the analysis on the driver thread, and stops with a
// fixed 1000 ms drain. All operations except WaveInProc run on the UI
// thread. Start-up installs the driver and the UI first.
#pragma once

#include "CaptureUi.h"
#include "WaveInDriver.h"

#include <atomic>
#include <cstdint>
#include <string>

inline constexpr int kRingBlocks = 25;
inline constexpr std::uint32_t kBlockBytes = 2048;
inline constexpr std::uint32_t kDrainMs = 1000;

// Device to open: -1 the default input, 0..N-1 the driver's devices.
extern std::int32_t DeviceId;
// Name of the device in use, at most 31 bytes; set by OpenWaveIn.
extern std::string DeviceName;
// The block the driver returns next, 0..24; written by the callback.
extern std::atomic<std::int32_t> CurrentBlock;
// Blocks copied into SampleBlock since start-up (for read-outs).
extern std::atomic<std::uint32_t> BlocksReceived;

void SetWaveInDriver(IWaveInDriver* driver);
IWaveInDriver* WaveInDriver();
void SetCaptureUi(ICaptureUi* ui);
ICaptureUi* CaptureUi();

void OpenWaveIn();
void StartWaveIn();
void CloseWaveIn();
void PrepareBlock(int block);
WaveResult AddBlock(int block);
void WaveInProc(THWaveIn handle, std::uint32_t message, std::uintptr_t instance,
                std::uintptr_t param1, std::uintptr_t param2);
// Empty when the driver's query fails.
std::string GetDeviceName(std::int32_t device);

// Text of a wave-input result code.
const char* WaveInErrorText(WaveResult code);
// Shows that text in an error box; does not end the program.
void DoError(WaveResult code);

// Driver-thread report to the user (handed to the UI thread); for back ends
// that lose their device while recording.
void PostCaptureInfo(const std::string& text);

// The header of a ring block, for drivers and tests; null outside 0..24.
TWaveHeader* RingBlockHeader(int block);
// Ring index of a header, or -1.
int RingBlockIndex(const TWaveHeader* header);
// True while a device handle is held.
bool WaveInOpen();
