#include "sndkit/detect_internal.h"

#include "VmLib/trace.h"

namespace {

constexpr int32_t kDefaultFrequency = 440;
constexpr int32_t kMinMagnitude = 1000;
constexpr int32_t kNeighbourHz = 250;

int32_t Frequency(const DetectInstance *pInst) {
    return pInst->lParam == DETECT_DEFAULT ? kDefaultFrequency : int32_t(pInst->lParam);
}

// Only a frequency between 0 and half the sample rate can be measured, and
// it keeps the neighbouring frequencies within range.
int32_t ToneInit(DetectInstance *pInst) {
    const int32_t f = Frequency(pInst);
    if (f <= 0 || uint64_t(f) * 2 >= pInst->wfx.nSamplesPerSec) {
        TracePosition(DETECT_UNIT, 23);
        return -1;
    }
    return 0;
}

// The magnitude at the tone's frequency when it stands out, else 0.
int32_t Classify(const DetectInstance *pInst, const uint8_t *pData, int32_t cb) {
    const int32_t f = Frequency(pInst);
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

int32_t ToneStep(DetectInstance *pInst, const uint8_t *pData, int32_t cb, const DetectStats *) {
    return DetectPresenceStep(pInst, pData != nullptr && Classify(pInst, pData, cb) != 0, cb,
                              uint32_t(Frequency(pInst)));
}

} // namespace

// The kind, its default duration and window, its state; its init, window and term.
extern const DetectKind g_detectTone = {
    DETECT_TONE, 100, 100, 0, ToneInit, ToneStep, nullptr,
};
