#include "sndkit/detect_internal.h"

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
