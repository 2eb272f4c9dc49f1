// Owner of the named segment that holds the sound map record.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

#include "SharedMemoryPlatform.h"
#include "SoundMapRecord.h"

class ESharedMemoryError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Exact texts, capitalisation included: hosts and users know them.
inline constexpr const char* kCreateMappingError = " Createfilemapping error";
inline constexpr const char* kMapViewError = "Tfilemapping map view error";
inline constexpr const char* kUnmapViewError = "TFilemapping unmapviewoffile error";
inline constexpr const char* kCloseHandleError = "TFileMapping close handle error";

inline constexpr const char* kSoundMapName = VXSM_NAME;

class TSharedMap {
public:
    // Create: opens or creates "VXSOUNDMAP" of 2431 bytes and attaches.
    // A failure releases whatever was obtained and raises ESharedMemoryError.
    explicit TSharedMap(ISharedMemoryPlatform& platform = PlatformSharedMemory());
    // For tests and tools: another name on the same rules.
    TSharedMap(ISharedMemoryPlatform& platform, const std::string& name);
    ~TSharedMap() noexcept(false);

    TSharedMap(const TSharedMap&) = delete;
    TSharedMap& operator=(const TSharedMap&) = delete;

    void OpenMapping(const std::string& name, std::int32_t size);
    void Attach();
    // Destroy: unmap, then release the handle; raises on failure.
    void Destroy();

    MapHandle Handle = 0;
    void* View = nullptr;
    std::int32_t Size = 0;
    SoundMapRecord* Data = nullptr;

private:
    void ConstructOrRelease(const std::string& name);
    ISharedMemoryPlatform& platform_;
};
