// A hidden top-level window of a given class, so that other processes find
// it with FindWindowA(class, NULL) and reach it with window messages; what
// it receives goes to a handler. Used by the host tool and the tests.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>

class TClassWindow {
public:
    // The reply to a message, or none for the system's default handling.
    using Handler = std::function<std::optional<LRESULT>(HWND, UINT, WPARAM, LPARAM)>;

    TClassWindow(const std::string& className, Handler handler);
    ~TClassWindow();
    TClassWindow(const TClassWindow&) = delete;
    TClassWindow& operator=(const TClassWindow&) = delete;

    // Null when the window could not be made; Error() says why.
    HWND Handle() const { return window_; }
    DWORD Error() const { return error_; }

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    std::string className_;
    Handler handler_;
    HWND window_ = nullptr;
    DWORD error_ = 0;
};

// Runs this thread's message loop until `done` holds (looked at after each
// message and at least every 50 ms) or timeoutMs has passed (< 0: no
// limit). False on the deadline or WM_QUIT.
bool PumpMessagesUntil(const std::function<bool()>& done, int timeoutMs);
