#include "SoundMapOwner.h"

#include <atomic>

#include "BlockAnalysis.h"

namespace {
std::atomic<TSharedMap*> g_owner{nullptr};
}

void SetSoundMapOwner(TSharedMap* map)
{
    g_owner.store(map, std::memory_order_release);
    SetAnalysisRecord(map != nullptr ? map->Data : nullptr);
}

TSharedMap* SoundMapOwner()
{
    return g_owner.load(std::memory_order_acquire);
}
