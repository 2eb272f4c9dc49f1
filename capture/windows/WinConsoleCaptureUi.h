// The console stand-in on Windows: a console program has no window, but
// its thread may have a message queue (thread timers, posted thread
// messages), which the drain and the probe's loop keep serving.
#pragma once

#include "ConsoleCaptureUi.h"

class TWinConsoleCaptureUi final : public TConsoleCaptureUi {
public:
    void ProcessMessages() override;
};
