// Message boxes, the About window and the help file in Win32.
#include "MainWindow.h"

#include <shellapi.h>

#include <cctype>
#include <filesystem>

#include "AboutForm.h"

namespace {

// The message box of this thread whose caption is the application's title.
BOOL CALLBACK FindBox(HWND window, LPARAM found)
{
    char cls[16] = {};
    char title[128] = {};
    ::GetClassNameA(window, cls, sizeof cls);
    ::GetWindowTextA(window, title, sizeof title);
    if (std::string(cls) == "#32770" && std::string(title) == kApplicationTitle && ::IsWindowVisible(window)) {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

TBoxAnswer TVxSoundWindow::RunBox(TBoxKind kind, const std::string& text)
{
    UINT style = MB_OK | MB_ICONERROR;
    if (kind == TBoxKind::Information)
        style = MB_OK | MB_ICONINFORMATION;
    else if (kind == TBoxKind::Question)
        style = MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2;
    // Owned by the window while it is on screen, so that the box stays in
    // front of a window that stays on top; before that it stands alone.
    HWND owner = Handle != nullptr && ::IsWindowVisible(Handle) && !::IsIconic(Handle) ? Handle : nullptr;
    if (owner == nullptr)
        style |= MB_TOPMOST | MB_SETFOREGROUND;
    ++boxDepth_;
    const int answer = ::MessageBoxA(owner, text.c_str(), kApplicationTitle, style);
    --boxDepth_;
    if (kind != TBoxKind::Question)
        return TBoxAnswer::Ok;
    return answer == IDYES ? TBoxAnswer::Yes : TBoxAnswer::No;
}

void TVxSoundWindow::DismissBox()
{
    if (boxDepth_ == 0)
        return;
    HWND box = nullptr;
    ::EnumThreadWindows(::GetCurrentThreadId(), &FindBox, reinterpret_cast<LPARAM>(&box));
    if (box == nullptr)
        return;
    // No for the question, OK for the others: whichever button the box has.
    ::EndDialog(box, ::GetDlgItem(box, IDNO) != nullptr ? IDNO : IDOK);
}

void TVxSoundWindow::ShowAbout()
{
    if (AboutForm != nullptr)
        AboutForm->Show();
}

void TVxSoundWindow::OpenHelp(const std::string& path, int context)
{
    std::string suffix = std::filesystem::path(path).extension().string();
    for (char& c : suffix)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    // The help viewer for help files; any other file opens in the program
    // the system has for it.
    if (suffix == ".hlp") {
        ::WinHelpA(Handle, path.c_str(), HELP_CONTEXT, static_cast<ULONG_PTR>(context));
        return;
    }
    ::ShellExecuteA(Handle, "open", path.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}
