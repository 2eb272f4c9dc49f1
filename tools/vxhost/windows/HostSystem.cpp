// On Windows: the segment is a named file mapping backed by the paging
// file; the console takes escape codes only when asked.
#include <windows.h>

#include "HostCommands.h"
#include "vxsoundmap.h"

namespace vxhost {

const SegmentWording& SystemSegmentWording()
{
    static const SegmentWording wording{
        "",
        "$VX_SEGMENT_NAME, default " VXSM_NAME " (a named file mapping, created\n"
        "with 2431 bytes if it does not exist yet)",
        "map the segment NAME (a named file\nmapping) instead of $VX_SEGMENT_NAME or\n" VXSM_NAME
        "; lets tests run beside a live analyzer"};
    return wording;
}

void EnableEscapeCodes()
{
    // Without it the console prints the codes; not a console: nothing to do.
    const HANDLE output = ::GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (output != INVALID_HANDLE_VALUE && ::GetConsoleMode(output, &mode))
        ::SetConsoleMode(output, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
}

}  // namespace vxhost
