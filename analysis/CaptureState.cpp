#include "CaptureState.h"

std::atomic<std::uint8_t> Recording{0};
std::atomic<bool> DeviceHandlePresent{false};
std::atomic<std::int16_t> SampleBlock[kSamplesPerBlock] = {};
