// The segment on Windows: a named file mapping backed by the paging file.
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

}  // namespace vxhost
