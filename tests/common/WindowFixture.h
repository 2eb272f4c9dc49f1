// The main window's logic on a fake edge, with its own segment, its own
// settings folder and a generated input, so that tests run in parallel
// beside each other and beside a live analyzer. No toolkit, no display.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "FakeWindowEdge.h"
#include "SharedMap.h"
#include "SignalWaveDriver.h"
#include "VxSoundApp.h"
#include "WaveInRing.h"

// ---- the operating system's part: all the window tests need beyond
// standard C++ ---------------------------------------------------------------
#include <cstdlib>
#ifdef _WIN32
#include <process.h>
namespace VxTestOs {
inline int ProcessId() { return ::_getpid(); }
inline void SetEnv(const char* name, const std::string& value) { ::_putenv_s(name, value.c_str()); }
inline void UnsetEnv(const char* name) { ::_putenv_s(name, ""); }
// A name the system refuses for a segment.
inline const std::string kBadSegmentName = "no\\such\\segment";
// A named mapping goes with its last handle.
inline void RemoveSegment(const std::string&) {}
inline int Shell(const std::string& command) { return std::system(command.c_str()); }
}  // namespace VxTestOs
#else
#include <sys/mman.h>
#include <unistd.h>
namespace VxTestOs {
inline int ProcessId() { return static_cast<int>(::getpid()); }
inline void SetEnv(const char* name, const std::string& value) { ::setenv(name, value.c_str(), 1); }
inline void UnsetEnv(const char* name) { ::unsetenv(name); }
inline const std::string kBadSegmentName = "no/such/segment";
inline void RemoveSegment(const std::string& name) { ::shm_unlink(("/" + name).c_str()); }
// The segment's file, which other processes can cut short or replace.
inline std::string SegmentFile(const std::string& name) { return "/dev/shm/" + name; }
inline int Shell(const std::string& command) { return std::system(command.c_str()); }
}  // namespace VxTestOs
#endif
// -------------------------------------------------------------------------

// Every byte of the record, for comparing before and after.
inline std::vector<std::uint8_t> RecordBytes(const SoundMapRecord& r)
{
    std::vector<std::uint8_t> bytes(SoundMapRecord::kSize);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = r.RawByte(i);
    return bytes;
}

// Polls done() until it holds or the timeout passes; step() runs before
// every poll (a tick, say).
inline bool Eventually(const std::function<bool()>& done, std::chrono::milliseconds timeout,
                       const std::function<void()>& step = {})
{
    const auto until = std::chrono::steady_clock::now() + timeout;
    for (;; std::this_thread::sleep_for(std::chrono::milliseconds(5))) {
        if (step)
            step();
        if (done())
            return true;
        if (std::chrono::steady_clock::now() >= until)
            return false;
    }
}

inline const std::string kPicture = VX_SOURCE_DIR "/Source-Images/Glyphs/AudioLevel.bmp";

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        static int counter = 0;
        const std::string id = std::to_string(VxTestOs::ProcessId()) + "_" + std::to_string(++counter);
        segment_ = "VXWINTEST_" + id;
        dir_ = std::filesystem::temp_directory_path() / ("vxwin_" + id);
        std::filesystem::create_directories(dir_);
        SetSettingsDir(dir_.string());
        VxTestOs::SetEnv("VX_SEGMENT_NAME", segment_);
        driver_ = std::make_unique<TSignalWaveDriver>(
            [](std::uint64_t frame) { return static_cast<std::int16_t>((frame % 100) * 100 - 5000); }, "Test input");
        SetWaveInDriver(driver_.get());
    }

    void TearDown() override
    {
        if (w && !w->Closed) {
            w->HostCloseRequested = true;
            SetSettingsDir(dir_.string());
            w->Close();
        }
        w.reset();
        SetWaveInDriver(nullptr);
        driver_.reset();
        VxTestOs::RemoveSegment(segment_);
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
        VxTestOs::UnsetEnv("VX_SETTINGS_DIR");
        VxTestOs::UnsetEnv("VX_SEGMENT_NAME");
    }

    static void SetSettingsDir(const std::string& dir) { VxTestOs::SetEnv("VX_SETTINGS_DIR", dir); }

    // Creates the window on a new edge (which keeps the answer, the
    // separator and the box callback given to the last one) and runs its
    // start-up, as the program entry does.
    TVxSoundApp& Create(const std::string& picture = kPicture)
    {
        w.reset();
        auto fresh = std::make_unique<TFakeWindowEdge>();
        fresh->Answer = edge->Answer;
        fresh->Separator = edge->Separator;
        fresh->WhileBoxOpen = std::move(edge->WhileBoxOpen);
        fresh->WhileStarting = std::move(edge->WhileStarting);
        edge = std::move(fresh);
        w = std::make_unique<TVxSoundApp>(*edge);
        edge->App = w.get();
        w->PicturePath = picture;
        w->FormCreate();
        return *w;
    }

    std::vector<std::string> Errors() const { return edge->Texts(TBoxKind::Error); }
    std::string IniPath() const { return (dir_ / "VxSound.ini").string(); }
    void WriteIni(const std::string& body) const { std::ofstream(IniPath()) << "[VxSound]\n" << body; }
    std::string Ini() const
    {
        std::ifstream in(IniPath());
        return {std::istreambuf_iterator<char>(in), {}};
    }
    // The segment as the host maps it.
    std::unique_ptr<TSharedMap> HostMap() const
    {
        return std::make_unique<TSharedMap>(PlatformSharedMemory(), segment_);
    }
    SoundMapRecord& Rec() const { return *w->Record(); }
    // Closes as the user would, answering the question with `yes`.
    bool UserClose(bool yes)
    {
        edge->Answer = yes ? TBoxAnswer::Yes : TBoxAnswer::No;
        w->Close();
        return w->Closed;
    }
    // The window's sync tick, as its timer runs it, until done() holds.
    bool TickUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout)
    {
        return Eventually(done, timeout, [this] {
            edge->ProcessMessages();
            w->SharedMapTimerTimer();
        });
    }

    std::unique_ptr<TFakeWindowEdge> edge = std::make_unique<TFakeWindowEdge>();
    std::unique_ptr<TVxSoundApp> w;
    std::string segment_;
    std::filesystem::path dir_;
    std::unique_ptr<TSignalWaveDriver> driver_;
};
