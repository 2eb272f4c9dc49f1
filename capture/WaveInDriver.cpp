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

WaveResult MarkPrepared(TWaveHeader* header, std::uint32_t size)
{
    if (header == nullptr || size < sizeof(TWaveHeader) || header->Data == nullptr)
        return kMmSysErrInvalParam;
    header->Flags |= kWhdrPrepared;
    return kMmSysErrNoError;
}

WaveResult MarkUnprepared(TWaveHeader* header, std::uint32_t size)
{
    if (header == nullptr || size < sizeof(TWaveHeader))
        return kMmSysErrInvalParam;
    if ((header->Flags & kWhdrInQueue) != 0)
        return kWaveErrStillPlaying;
    header->Flags &= ~kWhdrPrepared;
    return kMmSysErrNoError;
}

WaveResult MarkQueued(TWaveHeader* header, std::uint32_t size)
{
    // A block must hold at least one whole sample.
    if (header == nullptr || size < sizeof(TWaveHeader) || header->BufferLength < 2)
        return kMmSysErrInvalParam;
    if ((header->Flags & kWhdrPrepared) == 0)
        return kWaveErrUnprepared;
    if ((header->Flags & kWhdrInQueue) != 0)
        return kWaveErrStillPlaying;
    header->BytesRecorded = 0;
    header->Flags = (header->Flags | kWhdrInQueue) & ~kWhdrDone;
    return kMmSysErrNoError;
}
