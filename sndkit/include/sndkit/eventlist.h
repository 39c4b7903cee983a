/* The event list of a run: every detector reports into one shared list of
 * time spans, which the strip writer later turns into the audio to keep.
 * Internal to libsndprobe. */
#ifndef SNDKIT_EVENTLIST_H
#define SNDKIT_EVENTLIST_H

#include "VmLib/vmlib.h"

/* One event or one kept stretch of audio, in ms from the start of the audio.
 * msWindow is the reporting detector's window, 0 for made-up stretches;
 * dwType the reporting detector's kind, 0 for made-up stretches. */
typedef struct EventSpan {
    int32_t msStart;
    int32_t msDuration;
    int32_t msWindow;
    uint32_t dwType;
} EventSpan;

#ifdef __cplusplus
extern "C" {
#endif

/* A new, empty span list (an array of EventSpan pointers it owns); null on failure. */
HVMARRAY CreateSpanList(void);
/* Appends a new record {msStart, msDuration, msWindow}; 0, or -1 when the
 * list is null or memory is exhausted (nothing is then added). */
int32_t AppendSpan(HVMARRAY hList, int32_t msStart, int32_t msDuration, int32_t msWindow);
/* AppendSpan of an event of a detector of kind dwType. */
int32_t AppendEvent(HVMARRAY hList, uint32_t dwType, int32_t msStart, int32_t msDuration,
                    int32_t msWindow);
/* Releases every record and then the list; 0, or -1 when a record or the
 * array could not be released. A null list gives 0. */
int32_t DestroySpanList(HVMARRAY hList);
/* The record at nIndex, or null (after an error position) when there is none. */
const EventSpan *SpanAt(HVMARRAY hList, int32_t nIndex);

/* The detectors' callback: dwUser is the event list. Keeps the span and
 * prints the event at level 1 (the long forms of DTMF keys and Baudot
 * characters from trace level 3 on). A span that cannot be kept is lost
 * after an error position; the event is printed all the same. Always 0. */
int32_t OnDetectEvent(uintptr_t dwUser, uint32_t dwType, uint32_t msStart, uint32_t msDuration,
                      uint32_t msWindow, uint32_t lParam);

/* Prints the title and one line per span at level 4; -1 at a missing record. */
int32_t DumpSpans(HVMARRAY hList, const wchar_t *pszTitle);
/* Slot comparator: by msStart, and for equal starts -1 when a is shorter,
 * else 0. */
int32_t CompareSpans(const void *a, const void *b);

#ifdef __cplusplus
}
#endif

#endif
