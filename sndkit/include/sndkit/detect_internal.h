/* What the detector core shares with its classifiers: the instance record,
 * the window statistics and the per-kind steps. Internal to libsndprobe. */
#ifndef SNDKIT_DETECT_INTERNAL_H
#define SNDKIT_DETECT_INTERNAL_H

#include "VmLib/vmapi.h"

#define DETECT_UNIT L"detect"

/* Baudot tone classes, in Hz. */
#define BAUDOT_MARK 1400
#define BAUDOT_SPACE 1800

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
    uint16_t cPrevKey;  /* DTMF: 0 before the first window, ' ' for no key */
    int32_t nPrevTone;  /* Baudot: -1 before the first window */
    uint8_t bShift;     /* Baudot: DETECT_BAUDOT_LETTERS or DETECT_BAUDOT_FIGURES */
    int32_t cBits;      /* Baudot: bits in bRegister */
    uint8_t bRegister;
    /* DETECT_BAUDOT_ROBUST: the receiver's state. */
    struct BaudotRobust *pRobust;
    /* The start of a window that the last block left unfinished. */
    uint8_t *pCarry;
    int32_t cbCarry;
    int32_t cbCarryAlloc;
};

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

/* Per-kind steps. pData is null for the end of the data; pStats is then null.
 * Each adds cb to cbPosition, also when it fails; 0 or -1. */
int32_t DetectSilenceStep(DetectInstance *pInst, const uint8_t *pData, int32_t cb,
                          const DetectStats *pStats);
int32_t DetectToneStep(DetectInstance *pInst, const uint8_t *pData, int32_t cb,
                       const DetectStats *pStats);
int32_t DetectDtmfStep(DetectInstance *pInst, const uint8_t *pData, int32_t cb,
                       const DetectStats *pStats);
int32_t DetectBaudotStep(DetectInstance *pInst, const uint8_t *pData, int32_t cb,
                         const DetectStats *pStats);

/* Classifiers, one window each. */
int32_t DetectSilenceIsSilent(const DetectInstance *pInst, const DetectStats *pStats);
/* The tone detector's frequency in Hz, its default put in. */
int32_t DetectToneFrequency(const DetectInstance *pInst);
/* The magnitude at the tone's frequency when it stands out, else 0. */
int32_t DetectToneClassify(const DetectInstance *pInst, const uint8_t *pData, int32_t cb);
/* The key, ' ' for none, 0 for a failed measurement. */
uint16_t DetectDtmfClassify(const DetectInstance *pInst, const uint8_t *pData, int32_t cb);
/* The same from energy ratios (DETECT_DTMF_SENSITIVE); never fails. */
uint16_t DetectDtmfClassifySensitive(const DetectInstance *pInst, const uint8_t *pData, int32_t cb);
/* BAUDOT_MARK, BAUDOT_SPACE, or 0 for neither (also for a window under 1 ms). */
int32_t DetectBaudotClassify(const DetectStats *pStats);

/* Feeds a run of one tone class starting at msStart and lasting msRun ms to
 * the Baudot frame decoder, reporting each character it completes with the
 * run's start and length. */
void DetectBaudotDecode(DetectInstance *pInst, int32_t nTone, uint32_t msStart, uint32_t msRun);
/* The character for a five-bit code in a shift (the shift codes map to themselves). */
uint16_t DetectBaudotChar(uint8_t bCode, uint8_t bShift);
/* Follows the shift for a received code and reports its character. */
void DetectBaudotReportCode(DetectInstance *pInst, uint8_t bCode, uint32_t msStart,
                            uint32_t msDuration);

/* The robust receiver (DETECT_BAUDOT_ROBUST): its state is made with the
 * instance (0 or -1) and released with it (0 or -1 for a refused release);
 * a step takes any number of samples. */
int32_t DetectBaudotRobustInit(DetectInstance *pInst);
int32_t DetectBaudotRobustTerm(DetectInstance *pInst);
void DetectBaudotRobustStep(DetectInstance *pInst, const uint8_t *pData, int32_t cb);

#endif
