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

// Line noise below the voice band (hum's fundamental, pink noise's low end,
// a DC offset) swings a short window's level far more than its own level.
// The automatic mode measures a window with the mean of every 2.5 ms of each
// channel taken out: a high-pass near 200 Hz that keeps the voice band.
constexpr double kBlockMs = 2.5;

inline int32_t Sample(const uint8_t *p, size_t i, bool b16) {
    if (!b16)
        return (int32_t(p[i]) - 128) * 256;
    int16_t v;
    memcpy(&v, p + 2 * i, sizeof v);
    return v;
}

// The energy of the blocks' means, per channel: what the window's sum of
// squares loses when each block's mean is taken out.
double BlockMeanEnergy(const WAVEFORMATEX *pwfx, const uint8_t *p, int32_t cb) {
    const bool b16 = pwfx->wBitsPerSample > 8;
    const size_t nChannels = std::max<size_t>(1, pwfx->nChannels);
    const size_t nFrames = size_t(b16 ? cb / 2 : cb) / nChannels;
    const size_t nBlock = std::max<size_t>(1, size_t(pwfx->nSamplesPerSec * kBlockMs / 1000));
    double energy = 0;
    for (size_t c = 0; c < nChannels; ++c) {
        for (size_t f0 = 0; f0 < nFrames; f0 += nBlock) {
            const size_t n = std::min(nBlock, nFrames - f0);
            int64_t sum = 0;
            for (size_t f = f0; f < f0 + n; ++f)
                sum += Sample(p, f * nChannels + c, b16);
            energy += double(sum) * double(sum) / double(n);
        }
    }
    return energy;
}

double PlainRms(const WAVEFORMATEX *pwfx, const uint8_t *p, int32_t cb) {
    const bool b16 = pwfx->wBitsPerSample > 8;
    const size_t n = size_t(b16 ? cb / 2 : cb);
    double sumSq = 0;
    for (size_t i = 0; i < n; ++i) {
        const double v = Sample(p, i, b16);
        sumSq += v * v;
    }
    return n > 0 ? sqrt(sumSq / double(n)) : 0;
}

// The window's RMS with the blocks' means taken out, from its plain RMS.
double BandRms(const WAVEFORMATEX *pwfx, const uint8_t *p, int32_t cb, double dRms) {
    const double n = pwfx->wBitsPerSample > 8 ? cb / 2 : cb;
    if (n <= 0)
        return 0;
    return sqrt(std::max(0.0, dRms * dRms * n - BlockMeanEnergy(pwfx, p, cb)) / n);
}

// The automatic mode's run state; all zero for a fixed level.
struct SilenceState {
    bool bAuto;
    bool bSpeech;       // the last windows were speech, held down to nRelease
    int32_t nRelease;   // threshold that ends speech
    int32_t nSoft;      // speech below this ends softly
    double dPrevSquare; // mean square of the window before
    int32_t cbBurst;    // loud bytes after a silence, not yet long enough to end it
    int32_t cbBridge;
    int32_t cbSoftMin;
    int32_t cbGap;
    int32_t cbOnsetGap;
    int32_t cbHold;       // of a soft ending
    int32_t cbHeld;       // left of it
    bool bAfterSpeech;    // the silence follows speech, not the recording's start
    int32_t cbActive;     // where in the run the latest connected activity began; -1: none
    int32_t cbQuiet;      // bytes since the last activity
    int32_t cbSoft;       // bytes above the release level in a row
    int32_t cbSoftStart;  // where in the run they began
    bool bSoftLoud;       // one of them above the threshold
    int32_t cbChainSound; // bytes above the release level since the activity began
    bool bChainLoud;      // one of them above the threshold
    int32_t cbChainMin;   // that many of them with one loud are speech
};

SilenceState *State(DetectInstance *pInst) {
    return static_cast<SilenceState *>(DetectKindState(pInst));
}

int32_t Threshold(const DetectInstance *pInst) {
    return int16_t(pInst->lParam & 0xFFFF);
}

bool IsBelow(const DetectInstance *pInst, int32_t nThreshold, double dRms, double dMean) {
    if (nThreshold == -1)
        nThreshold = kDefaultThreshold;
    // The threshold is a peak amplitude; 0.707 is the RMS of a unit sine.
    if (pInst->dwFlags & DETECT_SILENCE_MEAN)
        return nThreshold * 0.5 >= dMean;
    return nThreshold * 0.707 >= dRms;
}

bool IsBelow(const DetectInstance *pInst, int32_t nThreshold, const DetectStats *pStats) {
    return IsBelow(pInst, nThreshold, pStats->dRootMeanSquare, pStats->dMean);
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

// Activity in a silence: the speech it follows, or sound above the release
// level for SILENCE_AUTO_SOFT_MS (a click is shorter). cbAt is where it began
// in the run; the start kept is that of the earliest activity no onset gap
// of quiet parts from what came after.
void NoteActivity(SilenceState *s, int32_t cbAt) {
    if (s->cbActive < 0 || s->cbQuiet >= s->cbOnsetGap) {
        s->cbActive = cbAt;
        s->cbChainSound = s->cbSoft;
        s->bChainLoud = s->bSoftLoud;
    }
    s->cbQuiet = 0;
}

// Activity at most the onset gap before a burst belongs to it.
bool Connected(const SilenceState *s) {
    return s->cbActive >= 0 && s->cbQuiet < s->cbOnsetGap;
}

// Still the end of the speech before: within the gap after it.
bool EndingSpeech(const SilenceState *s) {
    return s->bAfterSpeech && s->cbActive == 0 && s->cbQuiet < s->cbGap;
}

// One window of a silence at cbAt into its run, for the activity.
void SilenceWindow(SilenceState *s, bool bAboveRelease, bool bAbove, int32_t cbAt, int32_t cb) {
    if (!bAboveRelease) {
        s->cbSoft = 0;
        s->cbQuiet += cb;
        return;
    }
    if (s->cbSoft == 0) {
        s->cbSoftStart = cbAt;
        s->bSoftLoud = false;
    }
    s->cbSoft += cb;
    s->bSoftLoud = s->bSoftLoud || bAbove;
    s->cbChainSound += cb;
    s->bChainLoud = s->bChainLoud || bAbove;
    if (s->cbSoft >= s->cbSoftMin)
        NoteActivity(s, s->cbSoftStart);
    else
        s->cbQuiet += cb;
}

void StartSpeech(SilenceState *s) {
    s->bSpeech = true;
    s->cbBurst = 0;
    s->cbSoft = 0;
}

// A burst that has lasted as long as the bridge is speech, and so are short
// bursts among enough connected sound (a quiet speaker's syllables). The
// silence before ends where the activity connected to it began: a soft onset
// is speech.
void EndSilenceIfSpeech(DetectInstance *pInst, SilenceState *s, int32_t cb) {
    const bool bSyllables = Connected(s) && s->bChainLoud && s->cbChainSound >= s->cbChainMin;
    if (s->cbBurst < s->cbBridge && !bSyllables) {
        return;
    }
    int32_t cbAfter = s->cbBurst;
    if (Connected(s)) {
        cbAfter += pInst->cbRun - s->cbActive;
        pInst->cbRun = s->cbActive;
    }
    pInst->cbPosition += cb;
    ReportSilence(pInst, cbAfter);
    pInst->cbPosition -= cb;
    StartSpeech(s);
}

// Speech starts above the threshold and ends only below the release level;
// within the gap after it, the release level brings it back. A burst shorter
// than the bridge between two silences is part of them.
int32_t AutoStep(DetectInstance *pInst, SilenceState *s, const uint8_t *pData, int32_t cb,
                 const DetectStats *pStats) {
    if (pData == nullptr) {
        // A burst at the very end has no speech after it either.
        pInst->cbRun += s->cbBurst;
        s->cbBurst = 0;
        ReportSilence(pInst, 0);
        return 0;
    }
    const double dRms = BandRms(pInst->pwfx, pData, cb, pStats->dRootMeanSquare);
    // Levels hold over this window and over it with the one before: a window
    // that catches the peaks of a hum whose period does not divide it is not
    // sound starting or going on.
    const double dPair = sqrt((dRms * dRms + s->dPrevSquare) / 2);
    s->dPrevSquare = dRms * dRms;
    const auto above = [&](int32_t nLevel) {
        return !IsBelow(pInst, nLevel, dRms, pStats->dMean) &&
               !IsBelow(pInst, nLevel, dPair, pStats->dMean);
    };
    const bool bAboveRelease = above(s->nRelease);
    // Held above the threshold itself: noise hovering at the release level
    // must not add up to speech.
    const bool bAbove = above(Threshold(pInst));
    if (s->bSpeech) {
        // Speech that ends softly fades into the noise: the last of it is held.
        if (bAboveRelease) {
            s->cbHeld = IsBelow(pInst, s->nSoft, dRms, pStats->dMean) ? s->cbHold : 0;
        } else if (s->cbHeld >= cb) {
            s->cbHeld -= cb;
        } else {
            s->bSpeech = false;
            s->bAfterSpeech = true;
            pInst->cbRun = cb;
            s->cbActive = 0;
            s->cbQuiet = cb;
            s->cbChainSound = 0;
            s->bChainLoud = false;
        }
        pInst->cbPosition += cb;
        return 0;
    }
    const bool bEnding = EndingSpeech(s);
    if (s->cbBurst > 0 && !bAbove) {
        // Bridged: the burst stays part of the silence.
        pInst->cbRun += s->cbBurst;
        s->cbBurst = 0;
    }
    SilenceWindow(s, bAboveRelease, bAbove, pInst->cbRun + s->cbBurst, cb);
    if (bEnding && (bAbove || s->cbSoft >= s->cbSoftMin)) {
        // Back within the gap: the air since the speech was its own.
        pInst->cbRun = 0;
        StartSpeech(s);
    } else if (bAbove && pInst->cbRun == 0 && s->cbBurst == 0) {
        StartSpeech(s);
    } else if (bAbove) {
        s->cbBurst += cb;
        EndSilenceIfSpeech(pInst, s, cb);
    } else {
        pInst->cbRun += cb;
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
        // Measured with the window before, as the detector's levels hold.
        const int64_t from = off >= cbWindow ? off - cbWindow : off;
        const int32_t cbPair = int32_t(off + n - from);
        const double rms =
            BandRms(pwfx, pData + from, cbPair, PlainRms(pwfx, pData + from, cbPair));
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
    s->bAfterSpeech = false;
    s->cbBurst = 0;
    s->nRelease = abs(LinearToPcm(DbToLinear(dbThreshold - SILENCE_AUTO_RELEASE_DB)));
    s->nSoft = abs(LinearToPcm(DbToLinear(std::min(0.0, dbThreshold + SILENCE_AUTO_SOFT_DB))));
    s->cbBridge = std::max(1, WavFormatMsToBytes(pInst->pwfx, SILENCE_AUTO_BRIDGE_MS, +1));
    s->cbSoftMin = std::max(1, WavFormatMsToBytes(pInst->pwfx, SILENCE_AUTO_SOFT_MS, +1));
    s->cbGap = WavFormatMsToBytes(pInst->pwfx, SILENCE_AUTO_GAP_MS, +1);
    s->cbOnsetGap = WavFormatMsToBytes(pInst->pwfx, SILENCE_AUTO_ONSET_GAP_MS, +1);
    s->cbHold = WavFormatMsToBytes(pInst->pwfx, SILENCE_AUTO_HOLD_MS, +1);
    s->cbHeld = 0;
    s->dPrevSquare = 0;
    s->cbActive = -1;
    s->cbQuiet = 0;
    s->cbSoft = 0;
    s->cbSoftStart = 0;
    s->bSoftLoud = false;
    s->cbChainSound = 0;
    s->bChainLoud = false;
    s->cbChainMin = WavFormatMsToBytes(pInst->pwfx, SILENCE_AUTO_SYLLABLES_MS, +1);
    return 0;
}

// The kind, its default duration and window, its state; its init, window and term.
extern const DetectKind g_detectSilence = {
    DETECT_SILENCE, 200, 20, sizeof(SilenceState), nullptr, SilenceStep, nullptr,
};
