#include "sndkit/detect_internal.h"

#include "VmLib/trace.h"

namespace {

constexpr int32_t kRows[4] = {697, 770, 852, 941};
constexpr int32_t kColumns[4] = {1209, 1336, 1477, 1633};
constexpr char kKeys[4][5] = {"123A", "456B", "789C", "*0#D"};
constexpr int32_t kMinMagnitude = 1000;
constexpr uint16_t kNoKey = ' ';

// Index of the one tone of the group that stands out, -1 for none, -2 for a
// failed measurement. Ties keep the earlier frequency.
int32_t StrongestTone(const DetectInstance *pInst, const uint8_t *pData, int32_t cb,
                      const int32_t (&aFreq)[4]) {
    int32_t aMag[4];
    int32_t iBest = 0;
    for (int32_t i = 0; i < 4; ++i) {
        aMag[i] = DetectMagnitude(pInst, pData, cb, aFreq[i]);
        if (aMag[i] < 0)
            return -2;
        if (aMag[i] > aMag[iBest])
            iBest = i;
    }
    if (aMag[iBest] < kMinMagnitude)
        return -1;
    for (int32_t i = 0; i < 4; ++i)
        if (i != iBest && int64_t(aMag[i]) * 3 > aMag[iBest])
            return -1;
    return iBest;
}

bool IsKey(uint16_t c) {
    return c != 0 && c != kNoKey;
}

} // namespace

uint16_t DetectDtmfClassify(const DetectInstance *pInst, const uint8_t *pData, int32_t cb) {
    const int32_t iRow = StrongestTone(pInst, pData, cb, kRows);
    if (iRow == -1)
        return kNoKey;
    const int32_t iColumn = iRow < 0 ? -2 : StrongestTone(pInst, pData, cb, kColumns);
    if (iColumn == -1)
        return kNoKey;
    if (iColumn < 0) {
        TracePosition(DETECT_UNIT, 50);
        return 0;
    }
    return uint16_t(kKeys[iRow][iColumn]);
}

int32_t DetectDtmfStep(DetectInstance *pInst, const uint8_t *pData, int32_t cb,
                       const DetectStats *) {
    // Runs without a key are followed like key runs but never reported, so a
    // key is reported once, when its run ends.
    if (pData == nullptr) {
        if (pInst->cbRun >= pInst->cbDuration && IsKey(pInst->cPrevKey))
            DetectReportRun(pInst, pInst->cPrevKey);
        return 0;
    }
    const uint16_t cKey = DetectDtmfClassify(pInst, pData, cb);
    if (cKey == 0) {
        pInst->cPrevKey = 0;
        pInst->cbPosition += cb;
        TracePosition(DETECT_UNIT, 51);
        return -1;
    }
    if (cKey != pInst->cPrevKey && pInst->cbRun != 0) {
        if (pInst->cbRun >= pInst->cbDuration && IsKey(pInst->cPrevKey))
            DetectReportRun(pInst, pInst->cPrevKey);
        pInst->cbRun = cb;
    } else {
        pInst->cbRun += cb;
    }
    pInst->cPrevKey = cKey;
    pInst->cbPosition += cb;
    return 0;
}
