#include "sndkit/detect_silence.h"

#include <math.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>

#include "VmLib/handles.h"
#include "VmLib/trace.h"
#include "sndkit/detect_internal.h"
#include "sndkit/levels.h"
#include "sndkit/wavtime.h"

namespace {

// 328 is -40 dB of full scale.
constexpr int32_t kDefaultThreshold = 328;

// The automatic mode's run state; all zero for a fixed level.
struct SilenceState {
    bool bAuto;
    bool bSpeech;     // the last windows were speech, held down to nRelease
    int32_t nRelease; // threshold that ends speech
    int32_t cbBurst;  // loud bytes after a silence, not yet long enough to end it
    int32_t cbBridge;
};

SilenceState *State(DetectInstance *pInst) {
    return static_cast<SilenceState *>(DetectKindState(pInst));
}

int32_t Threshold(const DetectInstance *pInst) {
    return int16_t(pInst->lParam & 0xFFFF);
}

bool IsBelow(const DetectInstance *pInst, int32_t nThreshold, const DetectStats *pStats) {
    if (nThreshold == -1)
        nThreshold = kDefaultThreshold;
    // The threshold is a peak amplitude; 0.707 is the RMS of a unit sine.
    if (pInst->dwFlags & DETECT_SILENCE_MEAN)
        return nThreshold * 0.5 >= pStats->dMean;
    return nThreshold * 0.707 >= pStats->dRootMeanSquare;
}

// Reports the silence that ended cbAfter bytes before the current position.
void ReportSilence(DetectInstance *pInst, int32_t cbAfter) {
    if (pInst->cbRun >= pInst->cbDuration && pInst->cbRun > 0) {
        const int32_t cbEnd = pInst->cbPosition - cbAfter;
        DetectReportEvent(pInst, WavFormatBytesToMs(pInst->pwfx, uint32_t(cbEnd - pInst->cbRun)),
                          WavFormatBytesToMs(pInst->pwfx, uint32_t(pInst->cbRun)),
                          uint32_t(Threshold(pInst)));
    }
    pInst->cbRun = 0;
}

// A burst that has lasted as long as the bridge is speech: the silence
// before it is reported, ending where the burst began.
void EndSilenceIfSpeech(DetectInstance *pInst, SilenceState *s, int32_t cb) {
    if (s->cbBurst < s->cbBridge) {
        return;
    }
    pInst->cbPosition += cb;
    ReportSilence(pInst, s->cbBurst);
    pInst->cbPosition -= cb;
    s->cbBurst = 0;
    s->bSpeech = true;
}

// Speech starts above the threshold and ends only below the release level;
// a burst shorter than the bridge between two silences is part of them.
int32_t AutoStep(DetectInstance *pInst, SilenceState *s, const uint8_t *pData, int32_t cb,
                 const DetectStats *pStats) {
    if (pData == nullptr) {
        // A burst at the very end has no speech after it either.
        pInst->cbRun += s->cbBurst;
        s->cbBurst = 0;
        ReportSilence(pInst, 0);
        return 0;
    }
    const bool bAboveRelease = !IsBelow(pInst, s->nRelease, pStats);
    if (s->bSpeech) {
        if (!bAboveRelease) {
            s->bSpeech = false;
            pInst->cbRun = cb;
        }
    } else if (s->cbBurst > 0) {
        if (bAboveRelease) {
            s->cbBurst += cb;
            EndSilenceIfSpeech(pInst, s, cb);
        } else {
            pInst->cbRun += s->cbBurst + cb;
            s->cbBurst = 0;
        }
    } else if (IsBelow(pInst, Threshold(pInst), pStats)) {
        pInst->cbRun += cb;
    } else if (pInst->cbRun == 0) {
        s->bSpeech = true;
    } else {
        s->cbBurst = cb;
        EndSilenceIfSpeech(pInst, s, cb);
    }
    pInst->cbPosition += cb;
    return 0;
}

int32_t SilenceStep(DetectInstance *pInst, const uint8_t *pData, int32_t cb,
                    const DetectStats *pStats) {
    SilenceState *s = State(pInst);
    if (s->bAuto)
        return AutoStep(pInst, s, pData, cb, pStats);
    return DetectPresenceStep(pInst, pData != nullptr && IsBelow(pInst, Threshold(pInst), pStats),
                              cb, uint32_t(Threshold(pInst)));
}

// Histogram bins of the windows' levels: a quarter dB each from -120 dBFS up,
// bin 0 also holding everything below, digital silence included.
constexpr int32_t kBinsPerDb = 4;
constexpr int32_t kBins = 120 * kBinsPerDb + 1;
constexpr int64_t kMaxWindows = 8192;

double WindowRms(const WAVEFORMATEX *pwfx, const uint8_t *p, int32_t cb) {
    uint64_t sumSq = 0;
    size_t n;
    if (pwfx->wBitsPerSample > 8) {
        n = size_t(cb / 2);
        for (size_t i = 0; i < n; ++i) {
            int16_t v;
            memcpy(&v, p + 2 * i, sizeof v);
            sumSq += uint64_t(int64_t{v} * v);
        }
    } else {
        n = size_t(cb);
        for (size_t i = 0; i < n; ++i) {
            const int64_t v = (int32_t(p[i]) - 128) * 256;
            sumSq += uint64_t(v * v);
        }
    }
    return n > 0 ? sqrt(double(sumSq) / double(n)) : 0.0;
}

} // namespace

int32_t SilenceAutoThreshold(const WAVEFORMATEX *pwfx, const uint8_t *pData, int32_t cb,
                             uint32_t msWindow) {
    const int32_t cbWindow = WavFormatMsToBytes(pwfx, msWindow, +1);
    uint32_t anCount[kBins] = {};
    uint32_t nWindows = 0;
    // Windows spread evenly over a long recording estimate its percentile as
    // well as all of them, and keep the first pass a small part of the run.
    const int64_t nAll = cbWindow > 0 ? (int64_t{cb} + cbWindow - 1) / cbWindow : 0;
    const int64_t cbStride = std::max<int64_t>(1, nAll / kMaxWindows) * cbWindow;
    for (int64_t off = 0; cbWindow > 0 && off < cb; off += cbStride) {
        // A short last window counts only when it is the only one.
        const int32_t n = int32_t(std::min<int64_t>(cbWindow, cb - off));
        if (n < cbWindow && nWindows > 0)
            break;
        const double rms = WindowRms(pwfx, pData + off, n);
        int32_t bin = 0;
        if (rms > 0) {
            const double db = 20 * log10(rms / 32767.0);
            bin = std::clamp(int32_t(floor((db + 120) * kBinsPerDb)), 0, kBins - 1);
        }
        ++anCount[bin];
        ++nWindows;
    }
    double dbThreshold = SILENCE_AUTO_MIN_DB;
    if (nWindows > 0) {
        const uint64_t nRank = (uint64_t{nWindows} * SILENCE_AUTO_PERCENTILE + 99) / 100;
        uint64_t nSeen = 0;
        int32_t bin = 0;
        for (; bin < kBins - 1 && (nSeen += anCount[bin]) < std::max<uint64_t>(nRank, 1); ++bin) {
        }
        // Bin 0 is below every level worth a margin: the lower clamp.
        if (bin > 0) {
            const double dbFloor = -120 + (bin + 0.5) / kBinsPerDb;
            dbThreshold = std::clamp(dbFloor + SILENCE_AUTO_MARGIN_DB, SILENCE_AUTO_MIN_DB,
                                     SILENCE_AUTO_MAX_DB);
        }
    }
    return abs(LinearToPcm(DbToLinear(dbThreshold)));
}

int32_t DetectSilenceAuto(HDETECT hDetect, const uint8_t *pData, int32_t cb) {
    if (!HandleIsLive(hDetect, HANDLE_KIND_DETECT) || hDetect->dwType != DETECT_SILENCE ||
        hDetect->cbPosition != 0 || hDetect->cbCarry != 0 || cb < 0 || (cb > 0 && !pData)) {
        TracePosition(DETECT_UNIT, 82);
        return -1;
    }
    DetectInstance *pInst = hDetect;
    const int32_t nThreshold = SilenceAutoThreshold(pInst->pwfx, pData, cb, pInst->msWindow);
    const double dbThreshold = LinearToDb(PcmToLinear(int16_t(nThreshold)));
    SilenceState *s = State(pInst);
    pInst->lParam = uint32_t(nThreshold);
    s->bAuto = true;
    s->bSpeech = false;
    s->cbBurst = 0;
    s->nRelease = abs(LinearToPcm(DbToLinear(dbThreshold - SILENCE_AUTO_RELEASE_DB)));
    s->cbBridge = std::max(1, WavFormatMsToBytes(pInst->pwfx, SILENCE_AUTO_BRIDGE_MS, +1));
    return 0;
}

// The kind, its default duration and window, its state; its init, window and term.
extern const DetectKind g_detectSilence = {
    DETECT_SILENCE, 200, 20, sizeof(SilenceState), nullptr, SilenceStep, nullptr,
};
