#include "SoundMapOwner.h"

#include <atomic>

namespace {
std::atomic<TSharedMap*> g_owner{nullptr};
}

void SetSoundMapOwner(TSharedMap* map)
{
    g_owner.store(map, std::memory_order_release);
}

TSharedMap* SoundMapOwner()
{
    return g_owner.load(std::memory_order_acquire);
}

SoundMapRecord* CurrentSoundMap()
{
    TSharedMap* map = SoundMapOwner();
    return map != nullptr ? map->Data : nullptr;
}
