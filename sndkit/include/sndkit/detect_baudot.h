/* What the two TTY receivers of the Baudot detector share: its state, the
 * character table and the reporting of a received code. Internal to
 * libsndprobe. */
#ifndef SNDKIT_DETECT_BAUDOT_H
#define SNDKIT_DETECT_BAUDOT_H

#include "sndkit/detect_internal.h"

/* Baudot tone classes, in Hz. */
#define BAUDOT_MARK 1400
#define BAUDOT_SPACE 1800

struct BaudotState {
    int32_t nPrevTone; /* -1 before the first window */
    uint8_t bShift;    /* DETECT_BAUDOT_LETTERS or DETECT_BAUDOT_FIGURES */
    int32_t cBits;     /* bits in bRegister */
    uint8_t bRegister;
    /* DETECT_BAUDOT_ROBUST: the receiver's state. */
    struct BaudotRobust *pRobust;
};

inline BaudotState *DetectBaudotState(DetectInstance *pInst) {
    return static_cast<BaudotState *>(DetectKindState(pInst));
}

/* The zero-crossing receiver's step (the robust one's with DETECT_BAUDOT_ROBUST). */
int32_t DetectBaudotStep(DetectInstance *pInst, const uint8_t *pData, int32_t cb,
                         const DetectStats *pStats);
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
