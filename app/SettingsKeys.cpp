#include "SettingsKeys.h"

#include <stdexcept>

namespace VxSettings {

std::string EqualizerBandKey(int band)
{
    if (band < 0 || band >= kEqualizerBandCount) throw std::out_of_range("Equalizer band out of range");
    return std::string(kEqualizerBandPrefix) + std::to_string(band);
}

std::string SettingsFilePath(const std::string& programFolder)
{
    std::string path = programFolder;
    if (!path.empty() && path.back() != '/') path += '/';
    return path + kFileName;
}

} // namespace VxSettings
