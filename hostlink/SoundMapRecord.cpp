#include "SoundMapRecord.h"

#include <algorithm>

std::string SoundMapRecord::GainText() const
{
    const std::size_t length = std::min<std::size_t>(Get<std::uint8_t>(VXSM_OFF_GAINTEXT), kGainTextCapacity);
    std::string text(length, '\0');
    for (std::size_t i = 0; i < length; ++i)
        text[i] = static_cast<char>(Get<std::uint8_t>(VXSM_OFF_GAINTEXT + 1 + i));
    return text;
}

void SoundMapRecord::SetGainText(std::string_view text)
{
    const std::size_t length = std::min<std::size_t>(text.size(), kGainTextCapacity);
    Put(VXSM_OFF_GAINTEXT, static_cast<std::uint8_t>(length));
    // Only the text's own characters are copied: whatever followed a
    // longer former text stays in place, as the short string type does.
    for (std::size_t i = 0; i < length; ++i)
        Put(VXSM_OFF_GAINTEXT + 1 + i, static_cast<std::uint8_t>(text[i]));
}
