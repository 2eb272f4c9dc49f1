/*
 * vxsoundmap.h - layout of the VXSOUNDMAP shared record, for hosts.
 *
 * Self-contained: include it from C or C++ without the rest of the
 * analyzer. The record is packed and little-endian; many fields start at
 * odd offsets, so read and write them with memcpy at the offsets below
 * (the inline helpers do exactly that), never through cast pointers.
 *
 * On Linux the record lives in POSIX shared memory "/VXSOUNDMAP"
 * (/dev/shm/VXSOUNDMAP), mode 0600:
 *
 *     int fd = shm_open(VXSM_SHM_NAME, O_RDWR | O_CREAT, 0600);
 *     ...ftruncate(fd, VXSM_SIZE) only if the segment is new (size 0)...
 *     unsigned char *rec = mmap(NULL, VXSM_SIZE, PROT_READ | PROT_WRITE,
 *                               MAP_SHARED, fd, 0);
 *     if (vxsm_get_u8(rec, VXSM_OFF_TRIG)) { fire(); vxsm_set_u8(rec, VXSM_OFF_TRIG, 0); }
 */
#ifndef VXSOUNDMAP_H
#define VXSOUNDMAP_H

#include <stdint.h>
#include <string.h>

#define VXSM_NAME "VXSOUNDMAP"
#define VXSM_SHM_NAME "/VXSOUNDMAP"
#define VXSM_SIZE 2431

/* Arrays hold 256 entries; only the first 16 are used. */
#define VXSM_ARRAY_ENTRIES 256
#define VXSM_USED_BANDS 16
#define VXSM_EQ_COLORS 15
#define VXSM_GAINTEXT_CAPACITY 10

/* Offset of each field, then its size in bytes. */
#define VXSM_OFF_MAPVERSION 0          /* uint16, analyzer writes 1 */
#define VXSM_SIZE_MAPVERSION 2
#define VXSM_OFF_ANALYZERACTIVE 2      /* flag */
#define VXSM_SIZE_ANALYZERACTIVE 1
#define VXSM_OFF_RESERVED1 3           /* 4 reserved bytes */
#define VXSM_SIZE_RESERVED1 4
#define VXSM_OFF_BANDLEVEL 7           /* 256 x float32 */
#define VXSM_SIZE_BANDLEVEL 1024
#define VXSM_OFF_EQUALIZERBAND 1031    /* 256 x int8, -127..127 */
#define VXSM_SIZE_EQUALIZERBAND 256
#define VXSM_OFF_GAIN 1287             /* int8, -127..127 */
#define VXSM_SIZE_GAIN 1
#define VXSM_OFF_GAINTEXT 1288         /* length byte + 10 chars */
#define VXSM_SIZE_GAINTEXT 11
#define VXSM_OFF_TRIG 1299             /* flag: analyzer sets, host clears */
#define VXSM_SIZE_TRIG 1
#define VXSM_OFF_EQUALIZERCOLOR 1300   /* 15 x uint8: 0 yellow, 1 teal, 2 blue, else red */
#define VXSM_SIZE_EQUALIZERCOLOR 15
#define VXSM_OFF_SHOWINPUT 1315        /* uint8: 0 none, 1 real time, 2 time line */
#define VXSM_SIZE_SHOWINPUT 1
#define VXSM_OFF_USEFFT 1316           /* flag */
#define VXSM_SIZE_USEFFT 1
#define VXSM_OFF_TRIGGERFADERS 1317    /* flag */
#define VXSM_SIZE_TRIGGERFADERS 1
#define VXSM_OFF_SOUNDCARD 1318        /* flag */
#define VXSM_SIZE_SOUNDCARD 1
#define VXSM_OFF_NOISELEVELSWITCH 1319 /* int32: 0 low, 1 medium, 2 high */
#define VXSM_SIZE_NOISELEVELSWITCH 4
#define VXSM_OFF_NOISELEVELVALUE 1323  /* int32: 1..50/150/455 */
#define VXSM_SIZE_NOISELEVELVALUE 4
#define VXSM_OFF_RESERVED2 1327        /* 4 reserved bytes */
#define VXSM_SIZE_RESERVED2 4
#define VXSM_OFF_AUTOSAVECHANGES 1331  /* flag */
#define VXSM_SIZE_AUTOSAVECHANGES 1
#define VXSM_OFF_RUNMINIMIZED 1332     /* flag */
#define VXSM_SIZE_RUNMINIMIZED 1
#define VXSM_OFF_STAYONTOP 1333        /* flag */
#define VXSM_SIZE_STAYONTOP 1
#define VXSM_OFF_TRIGDECAY 1334        /* int32: 1..25 blocks */
#define VXSM_SIZE_TRIGDECAY 4
#define VXSM_OFF_TRIGAGGR 1338         /* int32: 0..300 */
#define VXSM_SIZE_TRIGAGGR 4
#define VXSM_OFF_CLIPPING 1342         /* flag */
#define VXSM_SIZE_CLIPPING 1
#define VXSM_OFF_FFTBANDLEVEL 1343     /* 256 x float32 */
#define VXSM_SIZE_FFTBANDLEVEL 1024
#define VXSM_OFF_LEVEL 2367            /* float32 */
#define VXSM_SIZE_LEVEL 4
#define VXSM_OFF_RESERVED3 2371        /* 60 reserved bytes */
#define VXSM_SIZE_RESERVED3 60

/* Whole-value copies at an offset (little-endian host assumed). */
static inline uint8_t vxsm_get_u8(const unsigned char *rec, size_t off) { return rec[off]; }
static inline void vxsm_set_u8(unsigned char *rec, size_t off, uint8_t v) { rec[off] = v; }
static inline int8_t vxsm_get_i8(const unsigned char *rec, size_t off) { return (int8_t)rec[off]; }
static inline void vxsm_set_i8(unsigned char *rec, size_t off, int8_t v) { rec[off] = (unsigned char)v; }
static inline uint16_t vxsm_get_u16(const unsigned char *rec, size_t off)
{
    uint16_t v;
    memcpy(&v, rec + off, sizeof v);
    return v;
}
static inline int32_t vxsm_get_i32(const unsigned char *rec, size_t off)
{
    int32_t v;
    memcpy(&v, rec + off, sizeof v);
    return v;
}
static inline void vxsm_set_i32(unsigned char *rec, size_t off, int32_t v) { memcpy(rec + off, &v, sizeof v); }
static inline float vxsm_get_f32(const unsigned char *rec, size_t off)
{
    float v;
    memcpy(&v, rec + off, sizeof v);
    return v;
}
/* Entry i of BandLevel / FFTBandLevel. */
static inline float vxsm_get_band(const unsigned char *rec, size_t array_off, unsigned i)
{
    return vxsm_get_f32(rec, array_off + 4u * i);
}

#endif /* VXSOUNDMAP_H */
