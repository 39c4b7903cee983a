/* The interface between libsndprobe and its codec module, a shared object
 * loaded only when a file needs a block-coded decoder. The module sees a
 * complete WAV file: a header made in memory followed by the audio data,
 * which it reads through the caller's procedure. */
#ifndef VMWAV_CODECAPI_H
#define VMWAV_CODECAPI_H

#include <stddef.h>
#include <stdint.h>

#define VMCODEC_API_VERSION 1u
#define VMCODEC_MODULE_FILE "libvmwav_sndfile.so"
#define VMCODEC_ENTRY "VmCodecGetApi"

/* Reads exactly cb bytes of the audio data at offset; 0 on success. */
typedef int (*VmCodecReadProc)(void *pUser, uint64_t offset, void *pBuffer, size_t cb);

typedef struct VmCodecStream VmCodecStream;

typedef struct VmCodecApi {
    uint32_t dwVersion;
    /* A decoder over header + data; null when the codec refuses the file. */
    VmCodecStream *(*pfnOpen)(const uint8_t *pHeader, size_t cbHeader, uint64_t cbData,
                              VmCodecReadProc pfnRead, void *pUser);
    /* Decodes up to nFrames frames as 16-bit mono at pOut; frames delivered,
     * 0 at the end, negative on failure. */
    int64_t (*pfnRead)(VmCodecStream *pStream, int16_t *pOut, int64_t nFrames);
    void (*pfnClose)(VmCodecStream *pStream);
} VmCodecApi;

typedef const VmCodecApi *(*VmCodecGetApiProc)(void);

#endif
