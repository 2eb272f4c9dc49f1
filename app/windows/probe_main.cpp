// Windows' console probe of the capture: wave input through winmm, any
// device by number or name.
#include "CaptureProbe.h"
#include "WinConsoleCaptureUi.h"
#include "WinmmWaveDriver.h"

int main(int argc, char** argv)
{
    TWinmmWaveDriver driver;
    TWinConsoleCaptureUi ui;
    return RunCaptureProbe(argc, argv, driver, ui, TProbeOptions{.ChooseDevice = true});
}
