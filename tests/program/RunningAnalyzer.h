// The real analyzer as a host meets it: a settings folder and a segment of
// its own, started until its record is active, closed by the host's
// request over the session bus; whatever the test's outcome, it ends and
// its segment and folder go.
#pragma once

#include <QApplication>

#include <sys/mman.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "SharedMap.h"

inline bool SoundServerAnswers()
{
    return RunToEnd({"pactl", "info"}, {}, 5000).status == 0;
}

// The test's own application object on Qt's `platform`; the first test in
// a process decides which.
inline bool AppOn(const char* platform)
{
    if (QApplication::instance() == nullptr) {
        qputenv("QT_QPA_PLATFORM", platform);
        static int argc = 1;
        static char name[] = "program_tests";
        static char* argv[] = {name, nullptr};
        new QApplication(argc, argv);  // lives until the process ends
    }
    return QGuiApplication::platformName() == QLatin1String(platform);
}

class TRunningAnalyzer {
public:
    // platform: Qt's "offscreen", or "xcb" for the virtual display.
    explicit TRunningAnalyzer(const std::string& tag, const std::string& platform = "offscreen")
        : segment("VX" + tag + "_" + std::to_string(::getpid())),
          dir(std::filesystem::temp_directory_path() / ("vxprog_" + segment)), platform_(platform)
    {
        std::filesystem::create_directories(dir);
        ::shm_unlink(("/" + segment).c_str());
    }
    ~TRunningAnalyzer()
    {
        process_.reset();
        map_.reset();
        ::shm_unlink(("/" + segment).c_str());
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }

    void WriteIni(const std::string& body) const { std::ofstream(dir / "VxSound.ini") << "[VxSound]\n" << body; }
    std::string Ini() const
    {
        std::stringstream s;
        s << std::ifstream(dir / "VxSound.ini").rdbuf();
        return s.str();
    }

    // The segment mapped here; made here when the host starts first.
    SoundMapRecord& Record()
    {
        if (!map_)
            map_ = std::make_unique<TSharedMap>(PlatformSharedMemory(), segment);
        return *map_->Data;
    }

    // Started and its record active: "", or what went wrong.
    std::string Start()
    {
        process_ = std::make_unique<TChild>();
        if (!process_->Start({VXSOUND_PATH}, {"VX_SETTINGS_DIR=" + dir.string(), "VX_SEGMENT_NAME=" + segment,
                                              "QT_QPA_PLATFORM=" + platform_}))
            return "cannot start " VXSOUND_PATH;
        const auto upUntil = [&](const std::function<bool()>& cond) {
            return process_->WaitFor([&] { return !process_->Running() || cond(); }, 20000) && process_->Running();
        };
        if (!upUntil([&] { return SharedSegmentExists(segment); }))
            return "no segment from the analyzer:\n" + process_->err;
        if (!upUntil([&] { return Record().AnalyzerActive() == 1; }))
            return "the analyzer never became active:\n" + process_->err;
        return "";
    }

    // The host's close request: the analyzer's exit status, -1 when it did
    // not end, -2 when the request failed.
    int Close()
    {
        if (RunToEnd({VXHOST_PATH, "close"}).status != 0)
            return -2;
        return process_->End(0, 15000);
    }

    TChild& Process() { return *process_; }

    const std::string segment;
    const std::filesystem::path dir;

private:
    std::string platform_;
    std::unique_ptr<TChild> process_;
    std::unique_ptr<TSharedMap> map_;
};
