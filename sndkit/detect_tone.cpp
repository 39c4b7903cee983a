#include "sndkit/detect_internal.h"

#include "VmLib/trace.h"

namespace {

constexpr int32_t kDefaultFrequency = 440;
constexpr int32_t kMinMagnitude = 1000;
constexpr int32_t kNeighbourHz = 250;

} // namespace

int32_t DetectToneFrequency(const DetectInstance *pInst) {
    return pInst->lParam == DETECT_DEFAULT ? kDefaultFrequency : int32_t(pInst->lParam);
}

int32_t DetectToneClassify(const DetectInstance *pInst, const uint8_t *pData, int32_t cb) {
    const int32_t f = DetectToneFrequency(pInst);
    const int32_t mBelow = DetectMagnitude(pInst, pData, cb, f - kNeighbourHz);
    const int32_t m = DetectMagnitude(pInst, pData, cb, f);
    const int32_t mAbove = DetectMagnitude(pInst, pData, cb, f + kNeighbourHz);
    // A failed measurement means no tone; the window itself does not fail.
    if (mBelow < 0 || m < 0 || mAbove < 0) {
        TracePosition(DETECT_UNIT, 40);
        return 0;
    }
    if (m >= kMinMagnitude && int64_t(mBelow) * 3 <= m && int64_t(mAbove) * 3 <= m)
        return m;
    return 0;
}

int32_t DetectToneStep(DetectInstance *pInst, const uint8_t *pData, int32_t cb,
                       const DetectStats *) {
    if (pData != nullptr && DetectToneClassify(pInst, pData, cb) != 0) {
        pInst->cbRun += cb;
    } else {
        if (pInst->cbRun >= pInst->cbDuration)
            DetectReportRun(pInst, uint32_t(DetectToneFrequency(pInst)));
        pInst->cbRun = 0;
    }
    pInst->cbPosition += cb;
    return 0;
}
