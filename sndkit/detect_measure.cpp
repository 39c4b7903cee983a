#include "sndkit/detect_internal.h"

#include <math.h>

#include "VmLib/trace.h"
#include "sndprobe.h"

int32_t DetectMagnitude(const DetectInstance *pInst, const uint8_t *pData, int32_t cb,
                        int32_t nFrequency) {
    HGOERTZEL hFilter =
        GoertzelInit(GOERTZEL_VERSION, VmModuleHandle(), int32_t(pInst->wfx.nSamplesPerSec),
                     nFrequency, cb, pInst->wfx.wBitsPerSample > 8 ? 2 : 1, 0);
    if (hFilter == nullptr) {
        TracePosition(DETECT_UNIT, 30);
        return -1;
    }
    int32_t nMagnitude = GoertzelProcessBlock(hFilter, pData, uint32_t(cb), 0);
    if (nMagnitude < 0)
        TracePosition(DETECT_UNIT, 31);
    else
        Trace(nullptr, TRACE_ENTRY, L"sndprobe: frequency=%ld Hz, magnitude=%ld)\n",
              int32_t(nFrequency), int32_t(nMagnitude));
    if (GoertzelTerm(hFilter) != 0) {
        TracePosition(DETECT_UNIT, 32);
        nMagnitude = -1;
    }
    return nMagnitude;
}

double DetectToneEnergy(const DetectInstance *pInst, const uint8_t *pData, int32_t cb, double dHz) {
    const int32_t n = DetectSampleCount(pInst, cb);
    if (n <= 0)
        return 0;
    const double c = 2 * cos(6.283185307179586 * dHz / pInst->wfx.nSamplesPerSec);
    double q1 = 0, q2 = 0;
    for (int32_t i = 0; i < n; ++i) {
        const double q0 = c * q1 - q2 + DetectSample(pInst, pData, i);
        q2 = q1;
        q1 = q0;
    }
    // |X|^2 of a whole-window sine of amplitude A is (A n / 2)^2; twice it
    // over n is the sine's own energy, A^2 n / 2.
    const double power = q1 * q1 + q2 * q2 - c * q1 * q2;
    return power > 0 ? 2 * power / n : 0;
}
