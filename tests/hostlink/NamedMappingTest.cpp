#include <gtest/gtest.h>

#include <random>
#include <string>

#include "SharedMap.h"

namespace {

// Windows' own segment: a new one is zeroed, two mappings of one name share
// the record, and the name is gone with its last handle.
TEST(NamedMapping, MappingsOfOneNameShareTheRecordUntilTheLastCloses)
{
    const std::string name = "VXTEST" + std::to_string(std::random_device()());
    ASSERT_FALSE(SharedSegmentExists(name));
    {
        TSharedMap analyzer(PlatformSharedMemory(), name);
        for (std::size_t i = 0; i < SoundMapRecord::kSize; ++i)
            ASSERT_EQ(analyzer.Data->RawByte(i), 0) << i;
        EXPECT_TRUE(SharedSegmentExists(name));
        TSharedMap host(PlatformSharedMemory(), name);
        EXPECT_NE(host.View, analyzer.View);
        analyzer.Data->SetLevel(0.5f);
        host.Data->SetTrigDecay(7);
        EXPECT_EQ(host.Data->Level(), 0.5f);
        EXPECT_EQ(analyzer.Data->TrigDecay(), 7);
    }
    EXPECT_FALSE(SharedSegmentExists(name));
}

}  // namespace
