// Linux's console probe of the capture: the default source of the sound
// server.
#include "CaptureProbe.h"
#include "ConsoleCaptureUi.h"
#include "PulseWaveDriver.h"

int main(int argc, char** argv)
{
    TPulseWaveDriver driver;
    TConsoleCaptureUi ui;
    return RunCaptureProbe(argc, argv, driver, ui, TProbeOptions{});
}
