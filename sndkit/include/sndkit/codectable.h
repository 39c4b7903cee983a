/* The built-in codec driver files and the format option names. */
#ifndef SNDKIT_CODECTABLE_H
#define SNDKIT_CODECTABLE_H

#include "vmwav/vmwav.h"

#define CODEC_DRIVER_COUNT 10
#define FORMAT_OPTION_COUNT 13

typedef struct CodecDriverEntry {
    const wchar_t *pszFile;
    uint16_t wMid;
    uint16_t wPid;
    HACMDRIVER hDriver; /* null while not loaded */
} CodecDriverEntry;

#ifdef __cplusplus
extern "C" {
#endif

/* The process-wide table, CODEC_DRIVER_COUNT entries in load order. */
CodecDriverEntry *CodecDriverTable(void);
/* FORMAT_OPTION_COUNT option names, in the order they are searched. */
const wchar_t *const *FormatOptionNames(void);

#ifdef __cplusplus
}
#endif

#endif
