/* The run of one file as its modules share it: what it has read and
 * acquired, and its success flag. Internal to libsndprobe. */
#ifndef SNDKIT_RUN_H
#define SNDKIT_RUN_H

#include "VmLib/trace.h"
#include "VmLib/vmlib.h"
#include "sndkit/acmarg.h"
#include "sndkit/wholefile.h"
#include "vmwav/vmwav.h"

#define RUN_UNIT L"sndprobe"
#define MAX_DETECTORS 16

struct Run {
    int32_t argc;
    wchar_t **argv;
    bool ok;
    int32_t msBlock;
    bool strip;
    wchar_t *pszStrip;
    wchar_t *pszDest;
    int32_t dwStripFlags;
    int32_t msEdge;
    int32_t msShortestSilence; // of the silence detectors; 0 without one
    wchar_t *pszLevelTable;
    HACMARG hAcmArg;
    HWAVFILE hSource;
    WAVEFORMATEX *pwfxStored;
    WAVEFORMATEX *pwfxAnalysis;
    bool converting;
    HVMARRAY hEvents;
    HDETECT ahDetect[MAX_DETECTORS];
    bool abAuto[MAX_DETECTORS]; // a silence detector that sets its own level
    int32_t nDetectors;
    WholeFile whole;
};

/* Writes the error position and marks the run as failed. */
inline void RunFail(Run *r, uint32_t nPosition) {
    TracePosition(RUN_UNIT, nPosition);
    r->ok = false;
}

#endif
