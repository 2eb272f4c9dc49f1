#include "SettingsKeys.h"

#include <gtest/gtest.h>

#include <set>
#include <stdexcept>

using namespace VxSettings;

TEST(SettingsKeysTest, LowByteKeepsTheLowEightBits)
{
    EXPECT_EQ(LowByteSigned(300), 44);
    EXPECT_EQ(LowByteSigned(-200), 56);
    EXPECT_EQ(LowByteSigned(200), -56);
    EXPECT_EQ(LowByteSigned(-128), -128);
    EXPECT_EQ(LowByteSigned(127), 127);
    EXPECT_EQ(LowByteSigned(INT32_MIN), 0);
    EXPECT_EQ(LowByteUnsigned(-1), 255);
    EXPECT_EQ(LowByteUnsigned(258), 2);
}

TEST(SettingsKeysTest, NamesAndTable)
{
    EXPECT_EQ(EqualizerBandKey(0), "EqualizerBand0");
    EXPECT_EQ(EqualizerBandKey(15), "EqualizerBand15");
    EXPECT_THROW(EqualizerBandKey(16), std::out_of_range);
    EXPECT_THROW(EqualizerBandKey(-1), std::out_of_range);
    EXPECT_EQ(SettingsFilePath("/opt/vx/"), "/opt/vx/VxSound.ini");
    EXPECT_EQ(SettingsFilePath("/opt/vx"), "/opt/vx/VxSound.ini");

    std::set<std::string_view> names;
    int always = 0;
    for (const TKeyInfo& k : kKeys) {
        EXPECT_TRUE(names.insert(k.Name).second) << k.Name;
        if (k.Saved == TKeySaved::Always) ++always;
    }
    // The keys every close writes, whatever the auto-save switch says.
    EXPECT_EQ(always, 8);
    EXPECT_EQ(kKeys.front().Name, "SoundCardNo");
    EXPECT_EQ(kKeys.back().Name, "HelpFile");
}
