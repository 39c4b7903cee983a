/* The format records of the file operations: what the other modules of
 * vmwav.h need of them. Internal to libsndprobe. */
#ifndef VMWAV_WAVFORMATS_H
#define VMWAV_WAVFORMATS_H

#include <memory>
#include <vector>

#include "vmwav/riffwrite.h"
#include "vmwav/vmwav.h"

/* The PCM format of rate, bits and channels. */
WAVEFORMATEX WavPcmFormat(uint32_t rate, uint16_t bits, uint16_t channels);
/* The layout of the source whose stored format pwfx was handed out by
 * WavGetFormat, while it still reads as record; else null. */
std::shared_ptr<const WavLayout> WavFormatLayout(const WAVEFORMATEX *pwfx,
                                                 const std::vector<uint8_t> &record);

#endif
