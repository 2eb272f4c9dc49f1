// The segment on Linux: POSIX shared memory.
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

}  // namespace vxhost
