/* The whole-file buffer of a run: the complete audio of the source in the
 * analysis format, read once and handed out block by block. Internal to
 * libsndprobe. */
#ifndef SNDKIT_WHOLEFILE_H
#define SNDKIT_WHOLEFILE_H

#include "vmwav/vmwav.h"

// The complete audio in the analysis format, decoded in one request, or,
// when the source already holds it, a read-only mapping of the source.
struct WholeFile {
    const uint8_t *pData;
    int32_t cbValid;
    int32_t cbPosition;
    bool mapped; // pData belongs to the source's mapping
    bool empty;  // refused for holding less than a millisecond of audio
};

/* Decodes (or maps) the whole of hSource into pFile, zero-initialised by the
 * caller; 0, or -1 (empty set when there is under 1 ms of audio). */
int32_t LoadWholeFile(WholeFile *pFile, HWAVFILE hSource, const WAVEFORMATEX *pwfxStored);
/* The next block of at most cbCapacity bytes, where it lies in the whole
 * file: its length (0 after the last one) or -1. */
int32_t NextBlock(WholeFile *pFile, const uint8_t **ppBlock, int32_t cbCapacity);
/* Releases the buffer (a mapping stays with the source); 0 or -1. */
int32_t ReleaseWholeFile(WholeFile *pFile);

#endif
