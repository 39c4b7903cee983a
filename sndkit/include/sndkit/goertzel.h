/* Single-frequency Goertzel filter: the magnitude of one DFT bin of a block
 * of 8- or 16-bit PCM. Exported by name. */
#ifndef SNDKIT_GOERTZEL_H
#define SNDKIT_GOERTZEL_H

#include <stdint.h>
#include "VmLib/vmapi.h"

#define GOERTZEL_VERSION 256u

typedef struct GoertzelInstance *HGOERTZEL;

#ifdef __cplusplus
extern "C" {
#endif

/* A filter for the bin nearest nFrequency in blocks of cbBlock bytes of
 * cbSample-byte samples (1: unsigned 8-bit, 2: signed 16-bit). Null for a
 * wrong version, a null module handle, a sample size other than 1 or 2, a
 * rate of 0 or less, a block shorter than one sample, or an exhausted heap. */
SNDPROBE_API HGOERTZEL GoertzelInit(uint32_t dwVersion, VMHINSTANCE hInstance,
                                    int32_t nSamplesPerSec, int32_t nFrequency, int32_t cbBlock,
                                    int32_t cbSample, uint32_t dwFlags);
/* The bin's magnitude over cbBuffer bytes, every sample reduced to unsigned
 * 8 bits (a tone of 8-bit amplitude A gives about A * samples / 2); 0 for an
 * empty buffer, -1 for an invalid handle or a null buffer. */
SNDPROBE_API int32_t GoertzelProcessBlock(HGOERTZEL hGoertzel, const void *pBuffer,
                                          uint32_t cbBuffer, uint32_t dwReserved);
/* 0, or -1 for an invalid handle or a refused release. */
SNDPROBE_API int32_t GoertzelTerm(HGOERTZEL hGoertzel);

#ifdef __cplusplus
}
#endif

#endif
