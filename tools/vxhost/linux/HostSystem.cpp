// On Linux: the segment is POSIX shared memory; terminals take escape
// codes as they are.
#include "HostCommands.h"
#include "vxsoundmap.h"

namespace vxhost {

const SegmentWording& SystemSegmentWording()
{
    static const SegmentWording wording{
        "/",
        "/$VX_SEGMENT_NAME, default /" VXSM_NAME " (creating it, 2431 bytes, mode 0600,\n"
        "if it does not exist yet)",
        "map the segment NAME (POSIX shared memory\n/NAME) instead of $VX_SEGMENT_NAME or\n" VXSM_NAME
        "; lets tests run beside a live analyzer"};
    return wording;
}

void EnableEscapeCodes() {}

}  // namespace vxhost
