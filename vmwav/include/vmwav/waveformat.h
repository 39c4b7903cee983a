/* The wave format tags the WAV library knows; the 18-byte header itself
 * (WAVEFORMATEX) is part of the public header. */
#ifndef VMWAV_WAVEFORMAT_H
#define VMWAV_WAVEFORMAT_H

#include "sndprobe.h"

#define WAVE_FORMAT_ADPCM 0x0002
#define WAVE_FORMAT_IEEE_FLOAT 0x0003
#define WAVE_FORMAT_ALAW 0x0006
#define WAVE_FORMAT_MULAW 0x0007
#define WAVE_FORMAT_IMA_ADPCM 0x0011
#define WAVE_FORMAT_GSM610 0x0031
#define WAVE_FORMAT_EXTENSIBLE 0xFFFE

static_assert(sizeof(WAVEFORMATEX) == 18, "WAVEFORMATEX must match the file layout");

#endif
