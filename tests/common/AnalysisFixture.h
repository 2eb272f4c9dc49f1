// A fresh analysis over a private record, with a hand-driven clock.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <numbers>

#include "BlockAnalysis.h"
#include "CaptureState.h"
#include "MemorySharedMemory.h"
#include "SharedMap.h"
#include "SoundMapOwner.h"
#include "Platform.h"
#include "TrigDetector.h"

class TManualClock final : public VxPlatform::ITickClock {
public:
    std::uint32_t Now() override { return now; }
    std::uint32_t now = 0;
};

class AnalysisTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        map_ = std::make_unique<TSharedMap>(platform_, "VXTEST_ANALYSIS");
        rec = map_->Data;
        rec->SetTrigDecay(15);
        rec->SetTrigAggr(150);
        rec->SetNoiseLevelValue(1);
        SetSoundMapOwner(map_.get());
        VxPlatform::SetTickClock(&clock);

        RestartAnalysis();
        Recording.store(1);
        DeviceHandlePresent.store(true);
    }

    void TearDown() override
    {
        Recording.store(0);
        DeviceHandlePresent.store(false);
        SetSoundMapOwner(nullptr);
        VxPlatform::SetTickClock(nullptr);
    }

    static void Fill(std::int16_t value)
    {
        for (auto& s : SampleBlock)
            s.store(value);
    }
    static void FillSine(double hz, double amplitude)
    {
        for (int i = 0; i < kSamplesPerBlock; ++i)
            SampleBlock[i].store(static_cast<std::int16_t>(std::lrint(amplitude * std::sin(2 * std::numbers::pi * hz * i / 44100.0))));
    }
    // One block of analysis; the clock moves on by `ms` first.
    void Block(std::uint32_t ms = 23)
    {
        clock.now += ms;
        AnalyseBlock();
    }

    TManualClock clock;
    SoundMapRecord* rec = nullptr;

private:
    TMemorySharedMemory platform_;
    std::unique_ptr<TSharedMap> map_;
};
