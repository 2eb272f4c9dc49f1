#include "SharedMap.h"

#include <exception>

TSharedMap::TSharedMap(ISharedMemoryPlatform& platform) : platform_(platform)
{
    ConstructOrRelease(kSoundMapName);
}

TSharedMap::TSharedMap(ISharedMemoryPlatform& platform, const std::string& name) : platform_(platform)
{
    ConstructOrRelease(name);
}

void TSharedMap::ConstructOrRelease(const std::string& name)
{
    try {
        OpenMapping(name, static_cast<std::int32_t>(SoundMapRecord::kSize));
        if (View != nullptr)
            Attach();
    } catch (...) {
        // A partly built object is destroyed at once: a handle obtained
        // before a failed view mapping is released. The original error is
        // the one the caller sees.
        try {
            Destroy();
        } catch (const ESharedMemoryError&) {
        }
        throw;
    }
}

TSharedMap::~TSharedMap() noexcept(false)
{
    // A failure to release is reported, except while another error is
    // already on its way out (a second one would end the process).
    if (std::uncaught_exceptions() > 0) {
        try {
            Destroy();
        } catch (const ESharedMemoryError&) {
        }
        return;
    }
    Destroy();
}

void TSharedMap::OpenMapping(const std::string& name, std::int32_t size)
{
    Size = size;
    Handle = platform_.CreateMapping(name, static_cast<std::uint32_t>(size));
    if (Handle == 0)
        throw ESharedMemoryError(kCreateMappingError);
    View = platform_.MapView(Handle, static_cast<std::uint32_t>(size));
    if (View == nullptr)
        throw ESharedMemoryError(kMapViewError);
}

void TSharedMap::Attach()
{
    Data = static_cast<SoundMapRecord*>(View);
}

void TSharedMap::Destroy()
{
    if (View != nullptr) {
        if (!platform_.UnmapView(View))
            throw ESharedMemoryError(kUnmapViewError);
        View = nullptr;
    }
    if (Handle != 0) {
        const MapHandle handle = Handle;
        Handle = 0;
        if (!platform_.CloseMapping(handle))
            throw ESharedMemoryError(kCloseHandleError);
    }
}
