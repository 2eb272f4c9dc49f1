#include "SettingsKeys.h"

#include <gtest/gtest.h>


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
