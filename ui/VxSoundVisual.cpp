// The display refresh. Drawing of the displays and the status-bar lights
// is added with the displays; the timer already runs.
#include "VxSoundApp.h"

void TVxSoundApp::VisualTimerTimer()
{
}
