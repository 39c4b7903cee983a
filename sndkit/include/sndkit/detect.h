/* Audio event detectors: a stream of PCM bytes is cut into windows, each
 * window classified, and every long enough run of equally classified windows
 * reported as one timed event through a callback. Exported by name. */
#ifndef SNDKIT_DETECT_H
#define SNDKIT_DETECT_H

#include <stdint.h>
#include "VmLib/vmapi.h"
#include "vmwav/waveformat.h"

#define DETECT_VERSION 256u

/* Kinds; an instance detects exactly one. */
#define DETECT_SILENCE 0x00000001u
#define DETECT_TONE 0x00000002u
#define DETECT_DTMF 0x00000004u
#define DETECT_BAUDOT 0x00000008u

/* msDuration, msWindow (and the tone frequency or silence threshold in
 * lParam) equal to this select the kind's default. */
#define DETECT_DEFAULT 0xFFFFFFFFu

/* Silence flag: compare the mean absolute amplitude instead of the RMS. */
#define DETECT_SILENCE_MEAN 0x00000001u

/* Baudot characters that report a change of shift. */
#define DETECT_BAUDOT_FIGURES 27u
#define DETECT_BAUDOT_LETTERS 31u

typedef struct DetectInstance *HDETECT;

/* One event: a run that started msStart ms into the data and lasted
 * msDuration ms. lParam is the threshold (silence, sign-extended), the
 * frequency (tone) or the character (DTMF key, Baudot). The result is ignored. */
typedef int32_t (*DetectEventProc)(uintptr_t dwUser, uint32_t dwType, uint32_t msStart,
                                   uint32_t msDuration, uint32_t msWindow, uint32_t lParam);

#ifdef __cplusplus
extern "C" {
#endif

/* A detector of one kind for PCM data described by pwfx (copied). dwVersion
 * must be DETECT_VERSION, hInstance non-null, pwfx PCM, and msWindow must
 * give at least one byte. pfnEventProc may be null (events are dropped);
 * dwUser is handed back to it. Null on any failure, nothing left allocated. */
SNDPROBE_API HDETECT DetectInit(uint32_t dwVersion, VMHINSTANCE hInstance, const WAVEFORMATEX *pwfx,
                                uint32_t dwType, uint32_t lParam, uint32_t msDuration,
                                uint32_t msWindow, DetectEventProc pfnEventProc, uintptr_t dwUser,
                                uint32_t dwFlags);
/* Analyses sizBuf bytes in windows (a block's short tail is a window of its
 * own); events are reported as their runs end. A null pBuffer marks the end
 * of the data and reports the open run. 0, or -1 for an invalid handle, a
 * negative size or a failed window (the windows before it were analysed). */
SNDPROBE_API int32_t DetectProcessBlock(HDETECT hDetect, const void *pBuffer, int32_t sizBuf,
                                        uint32_t dwReserved);
/* Destroys the detector; 0, or -1 for an invalid handle or a refused release. */
SNDPROBE_API int32_t DetectTerm(HDETECT hDetect);

#ifdef __cplusplus
}
#endif

#endif
