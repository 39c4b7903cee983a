#include "sndkit/detect_internal.h"

#include <math.h>
#include <string.h>

#include <algorithm>

#include "VmLib/trace.h"
#include "sndkit/wavtime.h"

namespace {

// Integer sums keep the statistics exact whatever the window length, and
// let the compiler vectorise the loops.
struct WindowSums {
    size_t n;
    int32_t nMin;
    int32_t nMax;
    int64_t sumAbs;
    uint64_t sumSq;
    uint32_t nCrossings;
};

inline int32_t Load16(const uint8_t *p, size_t i) {
    int16_t v;
    memcpy(&v, p + 2 * i, sizeof v);
    return v;
}

// Squares are added in pairs: two squares of 16-bit values never exceed
// 2^31, so a pair fits 32 unsigned bits and the 64-bit adds are halved.
// Absolute values fit 16 unsigned bits and their chunk sums 32.
constexpr size_t kChunk = 1 << 16;

void Sums16(const uint8_t *p, size_t n, WindowSums *pSums) {
    int16_t nMin = INT16_MAX, nMax = INT16_MIN;
    uint64_t sumAbs = 0, sumSq = 0;
    for (size_t base = 0; base < n; base += kChunk) {
        const size_t end = std::min(n, base + kChunk);
        uint32_t chunkAbs = 0;
        size_t i = base;
        for (; i + 2 <= end; i += 2) {
            const int32_t a = Load16(p, i), b = Load16(p, i + 1);
            nMin = std::min<int16_t>(nMin, std::min<int16_t>(int16_t(a), int16_t(b)));
            nMax = std::max<int16_t>(nMax, std::max<int16_t>(int16_t(a), int16_t(b)));
            chunkAbs += uint16_t(a < 0 ? -a : a);
            chunkAbs += uint16_t(b < 0 ? -b : b);
            sumSq += uint32_t(a * a) + uint32_t(b * b);
        }
        for (; i < end; ++i) {
            const int32_t a = Load16(p, i);
            nMin = std::min<int16_t>(nMin, int16_t(a));
            nMax = std::max<int16_t>(nMax, int16_t(a));
            chunkAbs += uint16_t(a < 0 ? -a : a);
            sumSq += uint32_t(a * a);
        }
        sumAbs += chunkAbs;
    }
    uint32_t nCrossings = 0;
    for (size_t i = 1; i < n; ++i)
        nCrossings += uint16_t(Load16(p, i - 1) ^ Load16(p, i)) >> 15;
    *pSums = {n, nMin, nMax, int64_t(sumAbs), sumSq, nCrossings};
}

// 8-bit samples are unsigned around 128 and count as (byte - 128) * 256.
void Sums8(const uint8_t *p, size_t n, WindowSums *pSums) {
    int32_t nMin = INT8_MAX, nMax = INT8_MIN;
    int64_t sumAbs = 0;
    uint64_t sumSq = 0;
    for (size_t i = 0; i < n; ++i) {
        const int32_t d = int32_t(p[i]) - 128;
        nMin = std::min(nMin, d);
        nMax = std::max(nMax, d);
        sumAbs += d < 0 ? -d : d;
        sumSq += uint32_t(d * d);
    }
    uint32_t nCrossings = 0;
    for (size_t i = 1; i < n; ++i)
        nCrossings += uint32_t(p[i - 1] ^ p[i]) >> 7;
    *pSums = {n, nMin * 256, nMax * 256, sumAbs * 256, sumSq * 65536, nCrossings};
}

void TraceStats(const DetectStats &st) {
    Trace(nullptr, TRACE_STATS,
          L"STATS\n{\n\tdMin=%ld\n\tdMax=%ld\n\tdMean=%ld\n\tdRootMeanSquare=%ld\n"
          L"\tdSampleVariance=%ld\n\tdSampleDeviation=%ld\n\tdPopulationVariance=%ld\n"
          L"\tdPopulationDeviation=%ld\n\tlCrossingsPerSeconds=%ld\n}\n",
          int32_t(st.dMin), int32_t(st.dMax), int32_t(st.dMean), int32_t(st.dRootMeanSquare),
          int32_t(st.dSampleVariance), int32_t(st.dSampleDeviation),
          int32_t(st.dPopulationVariance), int32_t(st.dPopulationDeviation),
          int32_t(st.lCrossingsPerSecond));
    // The ratio has no value for a window of zeros.
    const int32_t lRatio =
        st.dRootMeanSquare > 0 ? int32_t(1000 * st.dMean / st.dRootMeanSquare) : 0;
    Trace(nullptr, TRACE_STATS, L"\t1000 * dMean / dRootMeanSquare=%ld\n", lRatio);
}

} // namespace

int32_t DetectCrossingsPerSecond(const WAVEFORMATEX *pwfx, uint32_t nCrossings, int32_t cb) {
    if (cb <= 0 || WavFormatBytesToMs(pwfx, uint32_t(cb)) == 0) {
        TracePosition(DETECT_UNIT, 81);
        return -1;
    }
    // The crossings lie between n samples, over n - 1 sample steps; timed by
    // all n, a window reads short of its tone by a share that depends on the
    // sample rate (at 44100 Hz 13 crossings of 1400 Hz read 2594). Whole
    // milliseconds would round short windows down by up to 25%.
    const int32_t cbSample = pwfx->nBlockAlign > 0 ? pwfx->nBlockAlign : 1;
    if (cb <= cbSample)
        return 0;
    const uint64_t rate = uint64_t(nCrossings) * pwfx->nAvgBytesPerSec / uint64_t(cb - cbSample);
    return rate > uint64_t(INT32_MAX) ? INT32_MAX : int32_t(rate);
}

void DetectComputeStats(const DetectInstance *pInst, const uint8_t *pData, int32_t cb,
                        DetectStats *pStats) {
    WindowSums sums;
    if (pInst->wfx.wBitsPerSample > 8)
        Sums16(pData, size_t(cb) / 2, &sums);
    else
        Sums8(pData, size_t(cb), &sums);

    DetectStats st = {};
    if (sums.n > 0) {
        const double n = double(sums.n);
        // n * sumSq - sumAbs^2 is exact in 128 bits and never negative, so
        // neither variance can come out below 0 from rounding.
        const __int128 spread =
            __int128(sums.sumSq) * __int128(sums.n) - __int128(sums.sumAbs) * __int128(sums.sumAbs);
        st.dMin = sums.nMin;
        st.dMax = sums.nMax;
        st.dMean = double(sums.sumAbs) / n;
        st.dRootMeanSquare = sqrt(double(sums.sumSq) / n);
        st.dSampleVariance = double(spread) / n / double(std::max<size_t>(sums.n - 1, 1));
        st.dSampleDeviation = sqrt(st.dSampleVariance);
        st.dPopulationVariance = double(spread) / n / n;
        st.dPopulationDeviation = sqrt(st.dPopulationVariance);
    }
    st.lCrossingsPerSecond = DetectCrossingsPerSecond(pInst->pwfx, sums.nCrossings, cb);
    *pStats = st;
    if (TraceIsEnabled(nullptr, TRACE_STATS))
        TraceStats(st);
}
