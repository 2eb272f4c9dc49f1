#include "StopRequest.h"

#include <windows.h>

#include <atomic>

namespace vxhost {

namespace {

std::atomic<bool> gStop{false};
std::atomic<bool> gEnded{false};

BOOL WINAPI OnConsoleEvent(DWORD event)
{
    gStop.store(true);
    // Closing the console ends the process when the handler returns: give
    // the view a moment to finish its last line and let go of its window.
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
        for (int i = 0; i < 300 && !gEnded.load(); ++i)
            ::Sleep(10);
    }
    return TRUE;
}

}  // namespace

TStopRequest::TStopRequest()
{
    gStop.store(false);
    gEnded.store(false);
    ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

TStopRequest::~TStopRequest()
{
    ::SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
    gEnded.store(true);
}

bool TStopRequest::Requested()
{
    return gStop.load();
}

}  // namespace vxhost
