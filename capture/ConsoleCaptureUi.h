// Console stand-in for the window: errors to stderr, information to
// stdout; posted texts wait until the UI thread pumps its messages. A
// system with a message queue per thread pumps that as well
// (WinConsoleCaptureUi.h).
#pragma once

#include "CaptureUi.h"

#include <deque>
#include <mutex>

class TConsoleCaptureUi : public ICaptureUi {
public:
    void ShowError(const std::string& text) override;
    void ShowInfo(const std::string& text) override;
    void PostInfo(const std::string& text) override;
    void ProcessMessages() override;
    [[noreturn]] void EndProgram() override;

private:
    std::mutex mutex_;
    std::deque<std::string> posted_;
};
