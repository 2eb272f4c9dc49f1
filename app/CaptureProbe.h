// The console probe of the capture, as both systems' entries run it: opens
// a sound input through the capture ring and prints once a second the
// device name, the blocks received and the peak. Ends on Ctrl+C (or after
// --seconds N) through the normal close.
#pragma once

#include "CaptureUi.h"
#include "WaveInDriver.h"

struct TProbeOptions {
    // Takes --device N|NAME, --help and --version, and lists the devices
    // before it opens one. Without it the probe opens the default input
    // and knows --seconds only.
    bool ChooseDevice = false;
};

// Exit status: 0 after a normal close, 2 for a wrong command line; a device
// that cannot be opened or started ends the process through the UI.
int RunCaptureProbe(int argc, char** argv, IWaveInDriver& driver, ICaptureUi& ui, const TProbeOptions& options);
