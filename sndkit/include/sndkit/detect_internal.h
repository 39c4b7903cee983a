/* What the detector core shares with its kinds: the instance record, the
 * window statistics, the interface every kind implements and the helpers
 * their steps use. Internal to libsndprobe. */
#ifndef SNDKIT_DETECT_INTERNAL_H
#define SNDKIT_DETECT_INTERNAL_H

#include <stddef.h>

#include "VmLib/vmapi.h"

#define DETECT_UNIT L"detect"

struct DetectStats;

/* One kind of detector: its defaults and its steps. A kind's own state lives
 * behind the instance record (DetectKindState), zero-filled when the record
 * is made; only the kind's own file knows its layout. Adding a kind is a
 * file that defines its DetectKind and a line in detect_kinds.cpp. */
struct DetectKind {
    uint32_t dwType;
    uint32_t msDuration; /* defaults for DETECT_DEFAULT */
    uint32_t msWindow;
    size_t cbState;
    /* Checks the kind's parameters and sets up its state once the record is
     * complete; 0, or -1 after an error position. Null: nothing to do. */
    int32_t (*pfnInit)(DetectInstance *pInst);
    /* One window, or the end of the data (pData and pStats null). Adds cb to
     * cbPosition, also when it fails; 0 or -1. Events go out through
     * DetectReportEvent or DetectReportRun. */
    int32_t (*pfnWindow)(DetectInstance *pInst, const uint8_t *pData, int32_t cb,
                         const DetectStats *pStats);
    /* Releases what pfnInit acquired, also for a state it never set up; 0,
     * or -1 for a refused release. Null: nothing to release. */
    int32_t (*pfnTerm)(DetectInstance *pInst);
};

/* The kind of dwType, or null for a type no kind has. */
const DetectKind *DetectFindKind(uint32_t dwType);

struct DetectInstance {
    uint32_t dwVersion;
    VMHINSTANCE hInstance;
    VMHPROCESS hProcess;
    WAVEFORMATEX *pwfx; /* points at wfx */
    WAVEFORMATEX wfx;
    uint32_t dwType;
    uint32_t lParam;
    uint32_t msDuration;
    uint32_t msWindow;
    DetectEventProc pfnEventProc;
    uintptr_t dwUser;
    uint32_t dwFlags;
    int32_t cbDuration;
    int32_t cbWindow;
    int32_t cbRun;      /* bytes in the current run of equally classified windows */
    int32_t cbPosition; /* bytes analysed before the current window */
    const DetectKind *pKind;
    /* The start of a window that the last block left unfinished. */
    uint8_t *pCarry;
    int32_t cbCarry;
    int32_t cbCarryAlloc;
    /* The kind's state follows, pKind->cbState bytes. */
};

/* The kind's state of an instance made by DetectInit. */
inline void *DetectKindState(DetectInstance *pInst) {
    return pInst + 1;
}

struct DetectStats {
    double dMin;
    double dMax;
    double dMean; /* of the absolute values */
    double dRootMeanSquare;
    double dSampleVariance;
    double dSampleDeviation;
    double dPopulationVariance;
    double dPopulationDeviation;
    int32_t lCrossingsPerSecond; /* -1 for a window under 1 ms */
};

/* Statistics of cb bytes (cb > 0) in the instance's sample format, traced at
 * the statistics level. */
void DetectComputeStats(const DetectInstance *pInst, const uint8_t *pData, int32_t cb,
                        DetectStats *pStats);

/* Zero crossings per second of a window of cb bytes holding nCrossings;
 * -1 (with an error position) when the window is under 1 ms. */
int32_t DetectCrossingsPerSecond(const WAVEFORMATEX *pwfx, uint32_t nCrossings, int32_t cb);

/* Hands one event to the instance's callback. */
void DetectReportEvent(DetectInstance *pInst, uint32_t msStart, uint32_t msDuration,
                       uint32_t lParam);
/* Reports the current run (cbRun bytes ending at cbPosition) with lParam. */
void DetectReportRun(DetectInstance *pInst, uint32_t lParam);

/* Magnitude at nFrequency over one window through a Goertzel filter of its
 * length; -1 (with an error position) when the filter cannot be made or run. */
int32_t DetectMagnitude(const DetectInstance *pInst, const uint8_t *pData, int32_t cb,
                        int32_t nFrequency);

/* Samples in cb bytes, and sample i as a 16-bit value (8-bit samples count
 * as (byte - 128) * 256). */
inline int32_t DetectSampleCount(const DetectInstance *pInst, int32_t cb) {
    return pInst->wfx.wBitsPerSample > 8 ? cb / 2 : cb;
}
inline int32_t DetectSample(const DetectInstance *pInst, const uint8_t *pData, int32_t i) {
    if (pInst->wfx.wBitsPerSample <= 8)
        return (int32_t(pData[i]) - 128) * 256;
    return int16_t(uint16_t(pData[2 * i] | (pData[2 * i + 1] << 8)));
}

/* Energy of the sine at dHz in a window of full samples (any frequency, not
 * only the window's DFT bins): a sine of amplitude A filling the window gives
 * A^2 n / 2 for n samples, its own sum of squares. 0 for an empty window. */
double DetectToneEnergy(const DetectInstance *pInst, const uint8_t *pData, int32_t cb, double dHz);

/* The step of a kind whose windows either hold what it detects or not: a
 * run of such windows long enough is reported with lParam when it ends. */
int32_t DetectPresenceStep(DetectInstance *pInst, bool bPresent, int32_t cb, uint32_t lParam);
/* The step of a kind that classifies every window: a window of another class
 * than the run's ends the run, and pfnEnd sees it with cbRun and cbPosition
 * still those of the run. */
void DetectClassStep(DetectInstance *pInst, bool bSameClass, int32_t cb,
                     void (*pfnEnd)(DetectInstance *pInst));

#endif
