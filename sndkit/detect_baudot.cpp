#include "sndkit/detect_baudot.h"

#include "VmLib/trace.h"
#include "sndkit/wavtime.h"

namespace {

// 45.45 baud: one bit lasts 22 ms.
constexpr uint32_t kBitMs = 22;
constexpr int32_t kMarkMin = 2600, kMarkMax = 3000;
constexpr int32_t kSpaceMin = 3400, kSpaceMax = 3800;
constexpr uint8_t kSpaceCode = 4;

// Indexed by the five data bits, first received bit most significant.
constexpr uint16_t kLetters[32] = {0,   'T', 13,  'O', ' ', 'H', 'N', 'M', 10,  'L', 'R',
                                   'G', 'I', 'P', 'C', 'V', 'E', 'Z', 'D', 'B', 'S', 'Y',
                                   'F', 'X', 'A', 'W', 'J', 27,  'U', 'Q', 'K', 31};
constexpr uint16_t kFigures[32] = {0,   '5', 13,  '9', ' ',  '#', ',', '.', 10,  ')', '4',
                                   '&', '8', '0', ':', ';',  '3', '"', '$', '?', 7,   '6',
                                   '!', '/', '-', '2', '\'', 27,  '7', '1', '(', 31};

bool IsTone(int32_t nTone) {
    return nTone == BAUDOT_MARK || nTone == BAUDOT_SPACE;
}

// A frame in arrival order: start bit (0) in bit 7, data in bits 6..2, two
// stop bits (1) in bits 1 and 0.
bool IsFrame(uint8_t bRegister) {
    return (bRegister & 0x83) == 0x03;
}

void TraceFrame(uint8_t bRegister) {
    if (!TraceIsEnabled(nullptr, TRACE_ENTRY))
        return;
    wchar_t szBits[9];
    for (int32_t i = 0; i < 8; ++i)
        szBits[i] = (bRegister & (0x80 >> i)) ? L'1' : L'0';
    szBits[8] = 0;
    Trace(nullptr, TRACE_ENTRY, L"sndprobe: 0x%02X (%08s)\n", unsigned(bRegister), szBits);
}

} // namespace

uint16_t DetectBaudotChar(uint8_t bCode, uint8_t bShift) {
    bCode &= 31;
    return bShift == DETECT_BAUDOT_FIGURES ? kFigures[bCode] : kLetters[bCode];
}

int32_t DetectBaudotClassify(const DetectStats *pStats) {
    const int32_t nRate = pStats->lCrossingsPerSecond;
    // A window under 1 ms (the tail of the data) is too short to carry a
    // tone; failing the whole run for it would lose every character read.
    if (nRate < 0)
        return 0;
    int32_t nTone = 0;
    if (nRate >= kMarkMin && nRate <= kMarkMax)
        nTone = BAUDOT_MARK;
    else if (nRate >= kSpaceMin && nRate <= kSpaceMax)
        nTone = BAUDOT_SPACE;
    Trace(nullptr, TRACE_DETAIL, L"sndprobe: tone=%ld Hz, lCrossingsPerSecond=%ld\n",
          int32_t(nTone), int32_t(nRate));
    return nTone;
}

void DetectBaudotDecode(DetectInstance *pInst, int32_t nTone, uint32_t msStart, uint32_t msRun) {
    BaudotState *st = DetectBaudotState(pInst);
    // The run in whole bits, to the nearest.
    const uint32_t cBits = uint32_t((uint64_t(msRun) + kBitMs / 2) / kBitMs);
    Trace(nullptr, TRACE_DETAIL, L"sndprobe: tone=%ld Hz, duration=%ld ms, cBits=%d\n",
          int32_t(nTone), int32_t(msRun), int(cBits));
    const uint8_t bBit = nTone == BAUDOT_MARK ? 1 : 0;
    for (uint32_t i = 0; i < cBits; ++i) {
        st->bRegister = uint8_t(st->bRegister * 2 + bBit);
        if (++st->cBits < 8)
            continue;
        if (!IsFrame(st->bRegister)) {
            // Drop the oldest bit and try the next one as the end of a frame.
            TracePosition(DETECT_UNIT, 61);
            st->cBits = 7;
            continue;
        }
        TraceFrame(st->bRegister);
        st->cBits = 0;
        DetectBaudotReportCode(pInst, (st->bRegister / 4) & 31, msStart, msRun);
    }
}

void DetectBaudotReportCode(DetectInstance *pInst, uint8_t bCode, uint32_t msStart,
                            uint32_t msDuration) {
    BaudotState *st = DetectBaudotState(pInst);
    if (bCode == DETECT_BAUDOT_FIGURES || bCode == DETECT_BAUDOT_LETTERS)
        st->bShift = bCode;
    DetectReportEvent(pInst, msStart, msDuration, DetectBaudotChar(bCode, st->bShift));
    // Transmitters that send no letters shift after figures rely on the
    // receiver to fall back to letters at a space.
    if (bCode == kSpaceCode && (pInst->dwFlags & DETECT_BAUDOT_UNSHIFT_ON_SPACE))
        st->bShift = DETECT_BAUDOT_LETTERS;
}

namespace {

// Decodes the run that ends before the current window, if it is long enough
// and of a tone.
void EndToneRun(DetectInstance *pInst) {
    const int32_t nTone = DetectBaudotState(pInst)->nPrevTone;
    if (pInst->cbRun >= pInst->cbDuration && IsTone(nTone))
        DetectBaudotDecode(
            pInst, nTone,
            WavFormatBytesToMs(pInst->pwfx, uint32_t(pInst->cbPosition - pInst->cbRun)),
            WavFormatBytesToMs(pInst->pwfx, uint32_t(pInst->cbRun)));
}

int32_t BaudotInit(DetectInstance *pInst) {
    BaudotState *st = DetectBaudotState(pInst);
    st->nPrevTone = -1;
    st->bShift = DETECT_BAUDOT_LETTERS;
    if ((pInst->dwFlags & DETECT_BAUDOT_ROBUST) && DetectBaudotRobustInit(pInst) != 0) {
        TracePosition(DETECT_UNIT, 18);
        return -1;
    }
    return 0;
}

} // namespace

int32_t DetectBaudotStep(DetectInstance *pInst, const uint8_t *pData, int32_t cb,
                         const DetectStats *pStats) {
    BaudotState *st = DetectBaudotState(pInst);
    if (st->pRobust != nullptr) {
        if (pData != nullptr)
            DetectBaudotRobustStep(pInst, pData, cb);
        pInst->cbPosition += cb;
        return 0;
    }
    if (pData == nullptr) {
        EndToneRun(pInst);
        return 0;
    }
    // The window at a tone change reads between the bands and is a run of
    // its own; the rounding to whole bits absorbs what it takes from its
    // neighbours.
    const int32_t nTone = DetectBaudotClassify(pStats);
    DetectClassStep(pInst, nTone == st->nPrevTone, cb, EndToneRun);
    st->nPrevTone = nTone;
    return 0;
}

// The kind, its default duration and window, its state; its init, window and term.
extern const DetectKind g_detectBaudot = {
    DETECT_BAUDOT, 11, 5, sizeof(BaudotState), BaudotInit, DetectBaudotStep, DetectBaudotRobustTerm,
};
