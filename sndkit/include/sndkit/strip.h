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
/* With STRIP_TRAILING: DTMF keys among the events that reach the end one
 * after another (gaps up to 100 ms, or under a span's window; after the last
 * one, under msKeyTail) make those events one trailing span, and nothing
 * is kept from a window before the first key on. */
#define STRIP_CLOSING_KEY 0x8
/* Each kept stretch is printed as a result line before the copy is written,
 * so that a caller can show what the copy leaves out. */
#define STRIP_REPORT 0x10

#ifdef __cplusplus
extern "C" {
#endif

/* The plan: the stretches of audio to keep, in ms. Sorts hEvents in place,
 * chooses the events that count (all of them without STRIP_LEADING and
 * STRIP_TRAILING, else those starting at 0 or whose window reaches msLength),
 * keeps the audio between them (or, with STRIP_EXTRACT, the events
 * themselves; all of it when there are none) and widens every kept stretch
 * by msEdge on each side (negative: by the stretch's own window), clamped to
 * msLength; without a stretch, msEdge > 0 keeps the first 2 x msEdge ms.
 * msKeyTail matters only with STRIP_CLOSING_KEY (the shortest silence the
 * detectors report). A new span list (DestroySpanList), or null. */
HVMARRAY StripPlan(HVMARRAY hEvents, int32_t msLength, int32_t msEdge, int32_t dwFlags,
                   int32_t msKeyTail);

/* The steps of the plan, for callers that check what lies between them; each
 * returns a new span list (DestroySpanList) or null and leaves its input as
 * it was. */
/* The events that count (hEvents sorted): all of them without STRIP_LEADING
 * and STRIP_TRAILING, else those starting at 0 or whose window reaches
 * msLength (their duration then extended by their window). */
HVMARRAY ProcessSpans(HVMARRAY hEvents, int32_t msLength, int32_t dwFlags, int32_t msKeyTail);
/* The stretches between the spans (the whole length when there are none). */
HVMARRAY InvertSpans(HVMARRAY hSpans, int32_t msLength);
/* Every span widened by msEdge on each side (negative: by its msWindow) and
 * clamped to msLength and to msStop (a closing key's earliest start); none
 * with msEdge > 0 gives the first 2 x msEdge ms. */
HVMARRAY AdjustSpans(HVMARRAY hSpans, int32_t msLength, int32_t msEdge, int32_t msStop);

/* The writing step: copies the spans' raw bytes from hSource into a new file
 * pszDest in pwfxStored, as StripFile describes; a span reaching msLength
 * takes the data through its last byte. 0 or -1. */
int32_t WriteSpans(HVMARRAY hSpans, HWAVFILE hSource, const wchar_t *pszDest,
                   const WAVEFORMATEX *pwfxStored, int32_t msLength);

/* Plans the source's stretches and writes them (WriteSpans). The destination appears only when it
 * is complete, in place of a regular file or link of that name (anything else there is a failure);
 * on failure nothing is left and an existing file of that name is untouched.
 * 0 or -1. */
int32_t StripFile(HVMARRAY hEvents, HWAVFILE hSource, const wchar_t *pszDest,
                  const WAVEFORMATEX *pwfxStored, int32_t msEdge, int32_t dwFlags,
                  int32_t msKeyTail);

#ifdef __cplusplus
}
#endif

#endif
