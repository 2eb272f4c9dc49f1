// The analyzer's settings file: its name, section, keys and defaults, and the
// conversions applied to values that land in byte fields of the record.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace VxSettings {

inline constexpr const char* kFileName = "VxSound.ini";
inline constexpr const char* kSection = "VxSound";

// Key names, in the order start-up reads them.
inline constexpr const char* kSoundCardNo = "SoundCardNo";
inline constexpr const char* kUseFFT = "UseFFT";
inline constexpr const char* kNoiseLevelSwitch = "NoiseLevelSwitch";
inline constexpr const char* kShowInput = "ShowInput";
inline constexpr const char* kFormWidth = "FormWidth";
inline constexpr const char* kFormHeight = "FormHeight";
inline constexpr const char* kFormLeft = "FormLeft";
inline constexpr const char* kFormTop = "FormTop";
inline constexpr const char* kHSplitPos = "HSplitPos";
inline constexpr const char* kVSplitPos = "VSplitPos";
inline constexpr const char* kTriggerFaders = "TriggerFaders";
inline constexpr const char* kSoundCard = "SoundCard";
inline constexpr const char* kStayOnTop = "StayOnTop";
inline constexpr const char* kRunMinimized = "RunMinimized";
inline constexpr const char* kAutoSaveChanges = "AutoSaveChanges";
inline constexpr const char* kPassKeys = "PassKeys";
inline constexpr const char* kEqualizerBandPrefix = "EqualizerBand"; // + 0..15
inline constexpr const char* kGain = "Gain";
inline constexpr const char* kNoiseLevelValue = "NoiseLevelValue";
inline constexpr const char* kTrigDecay = "TrigDecay";
inline constexpr const char* kTrigAggr = "TrigAggr";
inline constexpr const char* kHelpFile = "HelpFile"; // read only, for help

// Defaults for a missing file, a missing key or a value that does not convert.
inline constexpr int kDefSoundCardNo = 0;
inline constexpr bool kDefUseFFT = false;
inline constexpr int kDefNoiseLevelSwitch = 0;
// "ShowInput" is read twice: for the menu, then for the record.
inline constexpr int kDefShowInputMenu = 2;
inline constexpr int kDefShowInputRecord = 1;
inline constexpr int kDefFormWidth = 200;
inline constexpr int kDefFormHeight = 200;
inline constexpr int kDefFormLeft = 200;
inline constexpr int kDefFormTop = 100;
inline constexpr int kDefHSplitPos = 100;
inline constexpr int kDefVSplitPos = 100;
inline constexpr bool kDefTriggerFaders = true;
inline constexpr bool kDefSoundCard = true;
inline constexpr bool kDefStayOnTop = true;
inline constexpr bool kDefRunMinimized = false;
inline constexpr bool kDefAutoSaveChanges = true;
inline constexpr bool kDefPassKeys = false;
inline constexpr int kDefEqualizerBand = 0;
inline constexpr int kDefGain = 0;
inline constexpr int kDefNoiseLevelValue = 1;
inline constexpr int kDefTrigDecay = 15;
inline constexpr int kDefTrigAggr = 150;

inline constexpr int kEqualizerBandCount = 16;

// "EqualizerBand0" .. "EqualizerBand15". Raises std::out_of_range otherwise.
std::string EqualizerBandKey(int band);

// The settings file in the program's folder; a missing trailing separator
// is supplied.
std::string SettingsFilePath(const std::string& programFolder);

// Values stored into byte fields of the record keep their low 8 bits:
// 300 becomes 44, -200 becomes 56. Signed for the band and gain fields,
// unsigned for "ShowInput".
constexpr std::int8_t LowByteSigned(std::int32_t value)
{
    return static_cast<std::int8_t>(static_cast<std::uint8_t>(static_cast<std::uint32_t>(value) & 0xFFu));
}
constexpr std::uint8_t LowByteUnsigned(std::int32_t value)
{
    return static_cast<std::uint8_t>(static_cast<std::uint32_t>(value) & 0xFFu);
}

} // namespace VxSettings
