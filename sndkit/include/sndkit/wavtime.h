/* Byte/time conversion of wave formats, shared by the detectors, the run of
 * one file and the strip writer. Internal to libsndprobe. */
#ifndef SNDKIT_WAVTIME_H
#define SNDKIT_WAVTIME_H

#include <stdint.h>
#include "vmwav/waveformat.h"

#ifdef __cplusplus
extern "C" {
#endif

/* ms of audio in bytes; with nBlockAlign of 2 or more the count is rounded to
 * whole blocks: up for nRound > 0 (lengths), down for nRound < 0 (offsets).
 * 0 without a format or with nAvgBytesPerSec 0; -1 when the count does not
 * fit an int32_t. */
int32_t WavFormatMsToBytes(const WAVEFORMATEX *pwfx, uint32_t ms, int32_t nRound);
/* cb bytes in whole ms, truncated; 0 without a format or with nAvgBytesPerSec 0. */
uint32_t WavFormatBytesToMs(const WAVEFORMATEX *pwfx, uint32_t cb);

#ifdef __cplusplus
}
#endif

#endif
