#include "WaveInDriver.h"

bool IsCaptureFormat(const TWaveFormat& format)
{
    return format.FormatTag == kWaveFormatPcm && format.Channels == 1 &&
           format.SamplesPerSec == 44100 && format.BitsPerSample == 16 && format.BlockAlign == 2;
}

std::string CutDeviceName(const std::string& name)
{
    if (name.size() <= kMaxDeviceNameLength)
        return name;
    std::size_t end = kMaxDeviceNameLength;
    // Back off over UTF-8 continuation bytes so no character is split.
    while (end > 0 && (static_cast<unsigned char>(name[end]) & 0xC0) == 0x80)
        --end;
    return name.substr(0, end);
}
