/* The strip writer: turns the event list of a run into the stretches of
 * audio to keep and copies exactly those stretches, in the source's own
 * encoding, into a new WAV file. Internal to libsndprobe. */
#ifndef SNDKIT_STRIP_H
#define SNDKIT_STRIP_H

#include "VmLib/vmlib.h"
#include "vmwav/vmwav.h"

/* Strip flags; other bits are ignored. */
#define STRIP_LEADING 0x1
#define STRIP_TRAILING 0x2
#define STRIP_EXTRACT 0x4

#ifdef __cplusplus
extern "C" {
#endif

/* Sorts hEvents in place, chooses the events that count (flags), keeps the
 * audio between them (or, with STRIP_EXTRACT, the events themselves), widens
 * every kept stretch by msEdge (negative: by the stretch's own window) and
 * writes the result to pszDest in pwfxStored. The destination appears only
 * when it is complete, in place of a regular file or link of that name
 * (anything else there is a failure); on failure nothing is left and an
 * existing file of that name is untouched. 0 or -1. */
int32_t StripFile(HVMARRAY hEvents, HWAVFILE hSource, const wchar_t *pszDest,
                  const WAVEFORMATEX *pwfxStored, const WAVEFORMATEX *pwfxAnalysis, int32_t msEdge,
                  int32_t dwFlags);

/* The stages; each returns a new span list (DestroySpanList) or null, and
 * leaves its input as it was. */
/* The events that count: all of them without STRIP_LEADING/STRIP_TRAILING,
 * else those touching the end (their duration extended by their window) or
 * starting at 0. */
HVMARRAY ProcessSpans(HVMARRAY hSpans, int32_t msLength, const WAVEFORMATEX *pwfx, int32_t msEdge,
                      int32_t dwFlags);
/* The stretches between the spans (the whole length when there are none). */
HVMARRAY InvertSpans(HVMARRAY hSpans, int32_t msLength);
/* Every span widened by msEdge on each side (negative: by its msWindow) and
 * clamped to the file; none with msEdge > 0 gives the first 2 x msEdge ms. */
HVMARRAY AdjustSpans(HVMARRAY hSpans, int32_t msLength, const WAVEFORMATEX *pwfx, int32_t msEdge,
                     int32_t dwFlags);
/* Copies the spans' raw bytes from hSource into a new file pszDest; a span
 * reaching msLength takes the data through its last byte. 0 or -1. */
int32_t WriteSpans(HVMARRAY hSpans, HWAVFILE hSource, const wchar_t *pszDest,
                   const WAVEFORMATEX *pwfxStored, int32_t msLength, int32_t dwFlags);

#ifdef __cplusplus
}
#endif

#endif
