#include "sndkit/detect_internal.h"

namespace {

// 328 is -40 dB of full scale.
constexpr int32_t kDefaultThreshold = 328;

int32_t Threshold(const DetectInstance *pInst) {
    return int16_t(pInst->lParam & 0xFFFF);
}

bool IsSilent(const DetectInstance *pInst, const DetectStats *pStats) {
    int32_t nThreshold = Threshold(pInst);
    if (nThreshold == -1)
        nThreshold = kDefaultThreshold;
    // The threshold is a peak amplitude; 0.707 is the RMS of a unit sine.
    if (pInst->dwFlags & DETECT_SILENCE_MEAN)
        return nThreshold * 0.5 >= pStats->dMean;
    return nThreshold * 0.707 >= pStats->dRootMeanSquare;
}

int32_t SilenceStep(DetectInstance *pInst, const uint8_t *pData, int32_t cb,
                    const DetectStats *pStats) {
    return DetectPresenceStep(pInst, pData != nullptr && IsSilent(pInst, pStats), cb,
                              uint32_t(Threshold(pInst)));
}

} // namespace

// The kind, its default duration and window, its state; its init, window and term.
extern const DetectKind g_detectSilence = {
    DETECT_SILENCE, 200, 20, 0, nullptr, SilenceStep, nullptr,
};
