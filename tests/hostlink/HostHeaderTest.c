/* The host header must compile as plain C on its own. */
#include "vxsoundmap.h"

float vxsm_test_read_level(const unsigned char *rec);
float vxsm_test_read_level(const unsigned char *rec)
{
    return vxsm_get_f32(rec, VXSM_OFF_LEVEL);
}
