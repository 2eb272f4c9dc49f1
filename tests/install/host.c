/* A minimal lighting host, built against the installed header only: maps
 * a private segment, plays the analyzer's part for one trig and takes it. */
#include <vxsoundmap.h>

#include <fcntl.h>
#include <stdio.h>
#include <sys/mman.h>
#include <unistd.h>

int main(int argc, char **argv)
{
    if (argc != 2)
        return 2;
    int fd = shm_open(argv[1], O_RDWR | O_CREAT | O_EXCL, 0600);
    if (fd < 0 || ftruncate(fd, VXSM_SIZE) != 0)
        return 1;
    unsigned char *rec = mmap(NULL, VXSM_SIZE, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    shm_unlink(argv[1]);
    if (rec == MAP_FAILED)
        return 1;
    const float level = 1234.5f;
    memcpy(rec + VXSM_OFF_LEVEL, &level, sizeof level);
    vxsm_set_u8(rec, VXSM_OFF_TRIG, 1);
    int took = 0;
    if (vxsm_get_u8(rec, VXSM_OFF_TRIG)) {
        took = 1;
        vxsm_set_u8(rec, VXSM_OFF_TRIG, 0);
    }
    printf("%d %.1f %d\n", took, vxsm_get_f32(rec, VXSM_OFF_LEVEL), vxsm_get_u8(rec, VXSM_OFF_TRIG));
    return 0;
}
