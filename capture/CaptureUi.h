// What the capture needs from the user interface: message boxes, the
// hand-over of messages raised on the driver thread, the message pump of
// the drain, and the immediate end of the program. The main window
// implements it; ConsoleCaptureUi.h is the console stand-in.
#pragma once

#include <string>

class ICaptureUi {
public:
    virtual ~ICaptureUi() = default;
    // Error box with one OK button; returns once acknowledged. UI thread.
    virtual void ShowError(const std::string& text) = 0;
    // Information box with one OK button. UI thread.
    virtual void ShowInfo(const std::string& text) = 0;
    // Called on the driver thread: hands the text to the UI thread, which
    // shows it as an information box. Must not block on the UI thread.
    virtual void PostInfo(const std::string& text) = 0;
    // Processes the UI thread's pending messages once and returns.
    virtual void ProcessMessages() = 0;
    // Ends the process at once; nothing after the call runs.
    [[noreturn]] virtual void EndProgram() = 0;
};
