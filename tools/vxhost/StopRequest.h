// The user's request to end a view that runs until stopped (watch, keys):
// Ctrl+C, and SIGTERM on Linux or closing the console on Windows. The
// handler only sets a flag that the view looks at between its steps.
#pragma once

namespace vxhost {

class TStopRequest {
public:
    TStopRequest();   // clears the flag and takes over the handlers
    ~TStopRequest();  // gives them back
    TStopRequest(const TStopRequest&) = delete;
    TStopRequest& operator=(const TStopRequest&) = delete;

    static bool Requested();
};

}  // namespace vxhost
