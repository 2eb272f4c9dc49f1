// A real main window under Qt's offscreen platform, with its own segment,
// its own settings folder and a generated input, so that tests run in
// parallel beside each other and beside a live analyzer.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QStringList>

#include <sys/mman.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <fstream>
#include <memory>
#include <iterator>
#include <string>
#include <vector>

#include "SignalWaveDriver.h"
#include "SharedMap.h"
#include "VxSoundApp.h"
#include "WaveInRing.h"

inline void EnsureTestApplication()
{
    if (QApplication::instance() != nullptr)
        return;
    // VX_TEST_X11=1 runs the window tests on the display instead.
    if (qEnvironmentVariableIsEmpty("VX_TEST_X11"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Widget tests stay off the session bus: the bus tests' analyzers must
    // be the only windows a close request can reach. Unsetting the address
    // is not enough, the bus library then tries $XDG_RUNTIME_DIR/bus, which
    // is where the test services put the private bus.
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/vx-window-tests-stay-off-the-bus");
    static int argc = 1;
    static char name[] = "vx_window_test";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv);  // lives until the process ends
}

// Every byte of the record, for comparing before and after.
inline std::vector<std::uint8_t> RecordBytes(const SoundMapRecord& r)
{
    std::vector<std::uint8_t> bytes(SoundMapRecord::kSize);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = r.RawByte(i);
    return bytes;
}

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        EnsureTestApplication();
        static int counter = 0;
        const std::string id = std::to_string(::getpid()) + "_" + std::to_string(++counter);
        segment_ = "VXWINTEST_" + id;
        dir_ = std::filesystem::temp_directory_path() / ("vxwin_" + id);
        std::filesystem::create_directories(dir_);
        SetSettingsDir(dir_.string());
        qputenv("VX_SEGMENT_NAME", QByteArray::fromStdString(segment_));
        driver_ = std::make_unique<TSignalWaveDriver>(
            [](std::uint64_t frame) { return static_cast<std::int16_t>((frame % 100) * 100 - 5000); },
            "Test input");
        SetWaveInDriver(driver_.get());
    }

    void TearDown() override
    {
        if (w && !w->Closed) {
            w->HostCloseRequested = true;
            SetSettingsDir(dir_.string());
            w->close();
        }
        w.reset();
        SetWaveInDriver(nullptr);
        driver_.reset();
        ::shm_unlink(("/" + segment_).c_str());
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
        qunsetenv("VX_SETTINGS_DIR");
        qunsetenv("VX_SEGMENT_NAME");
    }

    static void SetSettingsDir(const std::string& dir) { qputenv("VX_SETTINGS_DIR", QByteArray::fromStdString(dir)); }

    // Creates the window and runs its start-up, as the program entry does.
    TVxSoundApp& Create(const QString& picture = QString::fromLatin1(VX_SOURCE_DIR "/Source-Images/Glyphs/AudioLevel.bmp"))
    {
        w = std::make_unique<TVxSoundApp>();
        w->OnErrorBox = [this](const QString& text) {
            errors << text;
            if (whileBoxOpen)
                whileBoxOpen();
        };
        w->ConfirmClose = [this] {
            ++questions;
            if (whileBoxOpen)
                whileBoxOpen();
            return answer;
        };
        w->PicturePath = picture;
        w->FormCreate();
        return *w;
    }

    std::string IniPath() const { return (dir_ / "VxSound.ini").string(); }
    void WriteIni(const std::string& body) const
    {
        std::ofstream(IniPath()) << "[VxSound]\n" << body;
    }
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
        answer = yes;
        w->close();
        return w->Closed;
    }

    std::unique_ptr<TVxSoundApp> w;
    QStringList errors;
    // Runs while a box of the window is open (after it was counted).
    std::function<void()> whileBoxOpen;
    int questions = 0;
    bool answer = true;
    std::string segment_;
    std::filesystem::path dir_;
    std::unique_ptr<TSignalWaveDriver> driver_;
};
