// Program entry: the application object, the main window (its FormCreate
// runs), the hidden About window, the message loop.
#include <QApplication>

#include <memory>

#include "PulseWaveDriver.h"
#include "VxSoundApp.h"
#include "WaveInRing.h"

#if defined(__SANITIZE_ADDRESS__)
// Fontconfig's process-long cache is not a leak of ours.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n";
}
#endif

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName("Corvane Audio Analyzer");
    // Docks and the launcher's StartupWMClass match the window by these.
    QGuiApplication::setDesktopFileName("org.corvane.AudioAnalyzer");

    TPulseWaveDriver driver;
    SetWaveInDriver(&driver);

    int status = 0;
    {
        TVxSoundApp window;
        window.FormCreate();
        auto about = std::make_unique<TAboutForm>();
        AboutForm = about.get();
        if (window.Minimized())
            window.showMinimized();
        else
            window.show();
        // Quit from FormClose ends the loop; so does the last window closing.
        status = QApplication::exec();
        AboutForm = nullptr;
    }
    SetCaptureUi(nullptr);
    SetWaveInDriver(nullptr);
    return status;
}
