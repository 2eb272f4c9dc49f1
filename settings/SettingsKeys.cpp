#include "SettingsKeys.h"

#include <filesystem>
#include <stdexcept>

namespace VxSettings {

std::string EqualizerBandKey(int band)
{
    if (band < 0 || band >= kEqualizerBandCount) throw std::out_of_range("Equalizer band out of range");
    return std::string(kEqualizerBandPrefix) + std::to_string(band);
}

std::string SettingsFilePath(const std::string& programFolder)
{
    const char separator = static_cast<char>(std::filesystem::path::preferred_separator);
    std::string path = programFolder;
    if (!path.empty() && path.back() != '/' && path.back() != separator)
        path += separator;
    return path + kFileName;
}

} // namespace VxSettings
