/* What a stored wave format means for decoding: which decoder, the layout of
 * a frame or block, and how many samples a stretch of data holds. */
#ifndef VMWAV_WAVFMT_H
#define VMWAV_WAVFMT_H

#include <stddef.h>
#include <stdint.h>

#include <vector>

#include "vmwav/waveformat.h"

#define WAVE_FORMAT_MS_ADPCM WAVE_FORMAT_ADPCM

enum WavCodecKind : int {
    WAV_CODEC_UNKNOWN = 0, /* readable raw, not convertible */
    WAV_CODEC_PCM,         /* integer PCM, 1 to 4 bytes per sample */
    WAV_CODEC_FLOAT,       /* IEEE float, 4 or 8 bytes per sample */
    WAV_CODEC_ALAW,
    WAV_CODEC_MULAW,
    WAV_CODEC_IMA_ADPCM, /* block-coded kinds: decoded by the codec module */
    WAV_CODEC_MS_ADPCM,
    WAV_CODEC_GSM610,
};

struct WavCodecInfo {
    WavCodecKind kind = WAV_CODEC_UNKNOWN;
    uint16_t wTag = 0; /* effective tag (the sub-format of an extensible one) */
    uint16_t nChannels = 0;
    uint32_t nSamplesPerSec = 0;
    uint16_t nBlockAlign = 0;
    uint16_t cbSample = 0;        /* bytes per sample of one channel (frame kinds) */
    uint32_t nFramesPerBlock = 1; /* samples per channel in one block */
};

/* One frame of nBlockAlign bytes per sample time. */
inline bool WavCodecIsFrameCoded(WavCodecKind k) {
    return k == WAV_CODEC_PCM || k == WAV_CODEC_FLOAT || k == WAV_CODEC_ALAW ||
           k == WAV_CODEC_MULAW;
}

inline bool WavCodecIsBlockCoded(WavCodecKind k) {
    return k == WAV_CODEC_IMA_ADPCM || k == WAV_CODEC_MS_ADPCM || k == WAV_CODEC_GSM610;
}

/* Failure codes of WavFormatParse; each also serves as the error position. */
enum WavFmtError : int {
    WAVFMT_OK = 0,
    WAVFMT_ERR_SHORT = 1, /* the chunk is too short for its tag */
    WAVFMT_ERR_CHANNELS,
    WAVFMT_ERR_RATE,
    WAVFMT_ERR_BLOCK,
    WAVFMT_ERR_BITS,
    WAVFMT_ERR_SUBFORMAT,
    WAVFMT_ERR_CODEC_PARAMS,
    WAVFMT_ERR_BYTE_RATE, /* a block codec's byte rate is not that of its blocks */
};

/* Builds the format record (header plus cbSize bytes) of a "fmt " chunk
 * payload and classifies it. An unknown tag is not an error. Where the byte
 * rate follows from the block size and the sample rate, the record carries
 * that rate instead of the one the chunk claims. */
int WavFormatParse(const uint8_t *pFmt, size_t cbFmt, std::vector<uint8_t> *pRecord,
                   WavCodecInfo *pInfo);

/* Classifies a complete format record as handed in by a caller. */
int WavFormatClassify(const WAVEFORMATEX *pwfx, WavCodecInfo *pInfo);

/* Samples per channel held by cbData bytes; fact is the file's count, if any. */
uint64_t WavFrameCount(const WavCodecInfo &info, uint64_t cbData, bool bHasFact, uint32_t dwFact);

#endif
