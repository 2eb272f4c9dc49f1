// The About window in Win32: a small tool window, hidden until shown,
// never destroyed before the program ends.
#pragma once

#include <windows.h>

class TAboutForm {
public:
    explicit TAboutForm(int dpi);
    ~TAboutForm();
    TAboutForm(const TAboutForm&) = delete;
    TAboutForm& operator=(const TAboutForm&) = delete;

    HWND Handle = nullptr;  // caption "About Corvane Audio Analyzer"
    HWND BitBtn1 = nullptr;  // "&Close": the default and cancel button
    void Show();
    void BitBtn1Click();

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Dispatch(UINT message, WPARAM wParam, LPARAM lParam);
    void Paint();
    int Scaled(int pixels) const { return MulDiv(pixels, dpi_, 96); }

    int dpi_;
    HFONT font_ = nullptr;
    HFONT big_ = nullptr;
    HICON glyph_ = nullptr;
};
extern TAboutForm* AboutForm;
