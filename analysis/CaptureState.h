// Capture values shared between the driver thread and the user-interface
// thread. Each is a whole-value atomic (relaxed): readers may see a block
// half-written, as the design allows, but never a torn value.
#pragma once

#include <atomic>
#include <cstdint>

inline constexpr int kSamplesPerBlock = 1024;

// 1 while recording: the callback re-queues and analyses; 0 while
// stopping: it only releases returned blocks and the analysis skips.
extern std::atomic<std::uint8_t> Recording;

// True while a device handle is held (the design's "handle cell").
extern std::atomic<bool> DeviceHandlePresent;

// The latest captured block, the analysis input; written only by the
// capture callback, also read by the level display.
extern std::atomic<std::int16_t> SampleBlock[kSamplesPerBlock];
