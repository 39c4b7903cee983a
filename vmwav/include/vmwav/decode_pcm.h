/* Conversion of frame-coded audio (integer PCM, IEEE float, G.711) to 16-bit
 * mono, channels mixed by their mean. */
#ifndef VMWAV_DECODE_PCM_H
#define VMWAV_DECODE_PCM_H

#include <stddef.h>
#include <stdint.h>

#include "vmwav/wavfmt.h"

/* True for the kinds DecodeFrames handles. */
bool DecodeIsFrameKind(WavCodecKind kind);

/* Converts nFrames frames of pIn (nFrames * nBlockAlign bytes) into nFrames
 * samples at pOut, which must not overlap pIn. */
void DecodeFrames(const WavCodecInfo &info, const uint8_t *pIn, size_t nFrames, int16_t *pOut);

#endif
