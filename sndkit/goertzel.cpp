#include "sndprobe.h"

#include <math.h>
#include <string.h>

#include "VmLib/handles.h"
#include "VmLib/trace.h"
#include "VmLib/vmlib.h"

#define GOERTZEL_UNIT L"goertzel"

struct GoertzelInstance {
    uint32_t dwVersion;
    VMHINSTANCE hInstance;
    VMHPROCESS hProcess;
    int32_t nSamplesPerSec;
    int32_t nFrequency;
    int32_t cbBlock;
    int32_t cbSample;
    uint32_t dwFlags;
    double dCoefficient; /* 2 cos w */
};

namespace {

GoertzelInstance *LiveFilter(HGOERTZEL hGoertzel) {
    if (!HandleIsLive(hGoertzel, HANDLE_KIND_GOERTZEL) || hGoertzel->dwVersion != GOERTZEL_VERSION)
        return nullptr;
    return hGoertzel;
}

// Every sample is fed as unsigned 8 bits; the constant 128 only reaches bin 0.
inline double Sample8(const uint8_t *p, size_t i, int32_t cbSample) {
    return cbSample == 1 ? p[i] : uint8_t(p[2 * i + 1] + 128);
}

} // namespace

HGOERTZEL GoertzelInit(uint32_t dwVersion, VMHINSTANCE hInstance, int32_t nSamplesPerSec,
                       int32_t nFrequency, int32_t cbBlock, int32_t cbSample, uint32_t dwFlags) {
    if (!VmCheckCreate(dwVersion, GOERTZEL_VERSION, hInstance, GOERTZEL_UNIT, 1))
        return nullptr;
    // A block without a whole sample has no bin to measure.
    if ((cbSample != 1 && cbSample != 2) || nSamplesPerSec <= 0 || cbBlock < cbSample) {
        TracePosition(GOERTZEL_UNIT, 2);
        return nullptr;
    }
    auto *pFilter = static_cast<GoertzelInstance *>(
        MemAllocEx(nullptr, sizeof(GoertzelInstance), 0, GOERTZEL_UNIT, 9));
    if (pFilter == nullptr) {
        TracePosition(GOERTZEL_UNIT, 3);
        return nullptr;
    }
    const int32_t n = cbBlock / cbSample;
    const int64_t k = int64_t(double(n) * nFrequency / nSamplesPerSec + 0.5);
    const double w = 6.283185307179586 * double(k) / double(n);
    pFilter->dwVersion = GOERTZEL_VERSION;
    pFilter->hInstance = hInstance;
    pFilter->hProcess = VmCurrentProcess();
    pFilter->nSamplesPerSec = nSamplesPerSec;
    pFilter->nFrequency = nFrequency;
    pFilter->cbBlock = cbBlock;
    pFilter->cbSample = cbSample;
    pFilter->dwFlags = dwFlags;
    pFilter->dCoefficient = 2 * cos(w);
    if (HandleAdd(pFilter, HANDLE_KIND_GOERTZEL) != 0) {
        TracePosition(GOERTZEL_UNIT, 4);
        if (MemFreeEx(nullptr, pFilter, GOERTZEL_UNIT, 10) != nullptr)
            TracePosition(GOERTZEL_UNIT, 5);
        return nullptr;
    }
    return pFilter;
}

int32_t GoertzelProcessBlock(HGOERTZEL hGoertzel, const void *pBuffer, uint32_t cbBuffer,
                             uint32_t) {
    const GoertzelInstance *pFilter = LiveFilter(hGoertzel);
    if (pFilter == nullptr || pBuffer == nullptr) {
        TracePosition(GOERTZEL_UNIT, 6);
        return -1;
    }
    const auto *p = static_cast<const uint8_t *>(pBuffer);
    const size_t n = cbBuffer / uint32_t(pFilter->cbSample);
    const double c = pFilter->dCoefficient;
    double q1 = 0, q2 = 0;
    for (size_t i = 0; i < n; ++i) {
        const double q0 = c * q1 - q2 + Sample8(p, i, pFilter->cbSample);
        q2 = q1;
        q1 = q0;
    }
    const double power = q1 * q1 + q2 * q2 - c * q1 * q2;
    if (!(power > 0))
        return 0;
    const double magnitude = sqrt(power);
    return magnitude >= double(INT32_MAX) ? INT32_MAX : int32_t(magnitude);
}

int32_t GoertzelTerm(HGOERTZEL hGoertzel) {
    GoertzelInstance *pFilter = LiveFilter(hGoertzel);
    if (pFilter == nullptr) {
        TracePosition(GOERTZEL_UNIT, 7);
        return -1;
    }
    if (MemFreeEx(nullptr, pFilter, GOERTZEL_UNIT, 11) != nullptr) {
        TracePosition(GOERTZEL_UNIT, 8);
        return -1;
    }
    HandleRemove(pFilter, HANDLE_KIND_GOERTZEL);
    return 0;
}
