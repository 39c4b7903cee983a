// The robust TTY receiver (DETECT_BAUDOT_ROBUST): every sample updates the
// energies of the mark and space tones over the last bit time; a character
// starts where a bit of mark turns into a bit of space, and each of its bits
// is the tone that holds more energy over exactly that bit.
#include "sndkit/detect_baudot.h"

#include <math.h>

#include "VmLib/trace.h"
#include "VmLib/vmlib.h"
#include "sndkit/wavtime.h"

namespace {

constexpr double kBaud = 45.45;
constexpr double kTwoPi = 6.283185307179586;
// Part of a bit's energy that the two tones must hold for it to count as
// carrier: 2/3 at 3 dB SNR, 0.2 at -6 dB, in plain noise 4 over the samples
// of a bit on average (0.023 at 8000 Hz, less at higher rates).
constexpr double kMinToneShare = 0.06;
// Mark before and space after an edge differ by up to 2 in the normalised
// difference of the tones; half of that starts the search for the edge.
constexpr double kMinEdge = 1.0;
constexpr int32_t kFrameBits = 7; // start, five data bits, the first stop bit

// One sample's products with the two tones, and its square.
struct Terms {
    double markRe, markIm, spaceRe, spaceIm, square;
};

// What is known about the bit that ends at one sample.
struct BitView {
    double dRaw;  // mark energy minus space energy
    double dNorm; // the same over their sum, -1 (space) to 1 (mark)
    bool bCarrier;
};

} // namespace

struct BaudotRobust {
    int32_t nBit; // whole samples per bit, the length of the sums
    double dBit;  // exact samples per bit, for the bit boundaries
    int64_t n;    // samples seen
    Terms sums;   // over the last nBit samples
    double markCos, markSin, spaceCos, spaceSin;
    double markStepCos, markStepSin, spaceStepCos, spaceStepSin;
    bool bHunting;
    bool bTracking;    // an edge has been seen and its sharpest point is sought
    int64_t tResume;   // no edge before this sample
    int64_t tTrackEnd; // the search for the sharpest point ends here
    int64_t tEdge;     // the best edge so far, then the frame's start
    double dEdgeBest;
    int32_t iBit;    // next bit of the frame
    uint8_t bFrame;  // bits so far, first one highest
    Terms *pTerms;   // nBit samples, a ring
    BitView *pViews; // nBit + 1 samples, a ring
};

namespace {

void Rotate(double *pCos, double *pSin, double stepCos, double stepSin) {
    const double c = *pCos * stepCos - *pSin * stepSin;
    *pSin = *pCos * stepSin + *pSin * stepCos;
    *pCos = c;
}

void Renormalise(double *pCos, double *pSin) {
    const double m = sqrt(*pCos * *pCos + *pSin * *pSin);
    *pCos /= m;
    *pSin /= m;
}

uint32_t SamplesToMs(const DetectInstance *pInst, int64_t nSamples) {
    const int64_t cbSample = pInst->wfx.nBlockAlign > 1 ? pInst->wfx.nBlockAlign : 1;
    return WavFormatBytesToMs(pInst->pwfx, uint32_t(nSamples * cbSample));
}

// Adds sample x and returns what the bit ending at it holds.
BitView Push(BaudotRobust *r, double x) {
    const Terms t = {x * r->markCos, x * r->markSin, x * r->spaceCos, x * r->spaceSin, x * x};
    Terms &old = r->pTerms[r->n % r->nBit];
    r->sums.markRe += t.markRe - old.markRe;
    r->sums.markIm += t.markIm - old.markIm;
    r->sums.spaceRe += t.spaceRe - old.spaceRe;
    r->sums.spaceIm += t.spaceIm - old.spaceIm;
    r->sums.square += t.square - old.square;
    old = t;
    Rotate(&r->markCos, &r->markSin, r->markStepCos, r->markStepSin);
    Rotate(&r->spaceCos, &r->spaceSin, r->spaceStepCos, r->spaceStepSin);
    ++r->n;
    if (r->n % r->nBit == 0) {
        // Running sums drift; once a bit they start again from the ring.
        Terms s = {};
        for (int32_t i = 0; i < r->nBit; ++i) {
            s.markRe += r->pTerms[i].markRe;
            s.markIm += r->pTerms[i].markIm;
            s.spaceRe += r->pTerms[i].spaceRe;
            s.spaceIm += r->pTerms[i].spaceIm;
            s.square += r->pTerms[i].square;
        }
        r->sums = s;
        Renormalise(&r->markCos, &r->markSin);
        Renormalise(&r->spaceCos, &r->spaceSin);
    }
    BitView v = {0, 0, false};
    if (r->n < r->nBit)
        return v;
    const Terms &s = r->sums;
    const double eMark = s.markRe * s.markRe + s.markIm * s.markIm;
    const double eSpace = s.spaceRe * s.spaceRe + s.spaceIm * s.spaceIm;
    v.dRaw = eMark - eSpace;
    v.dNorm = eMark + eSpace > 0 ? v.dRaw / (eMark + eSpace) : 0;
    // A tone filling the bit gives |sum|^2 = (A n / 2)^2 against A^2 n / 2 in
    // the squares: their ratio, times 2 / n, is the tones' share of the energy.
    v.bCarrier = s.square > 0 && 2 * (eMark + eSpace) >= kMinToneShare * r->nBit * s.square;
    return v;
}

void StartHunting(BaudotRobust *r, int64_t tFrom) {
    r->bHunting = true;
    r->bTracking = false;
    r->tResume = tFrom;
}

// Decides the frame's bits that have ended by the newest sample; the search
// for the edge may have left the first of them a little behind.
void FrameBits(DetectInstance *pInst, BaudotRobust *r) {
    while (!r->bHunting) {
        const int64_t tEnd = r->tEdge + llround((r->iBit + 1) * r->dBit);
        if (tEnd > r->n - 1)
            return;
        const BitView &v = r->pViews[tEnd % (r->nBit + 1)];
        const bool bMark = v.dNorm > 0;
        const bool bFramed = r->iBit == 0 ? !bMark : r->iBit == kFrameBits - 1 ? bMark : true;
        if (!v.bCarrier || !bFramed) {
            // No character after all: look again from half a bit past the edge.
            Trace(nullptr, TRACE_DETAIL, L"sndprobe: tty frame at %ld ms dropped at bit %ld\n",
                  int32_t(SamplesToMs(pInst, r->tEdge)), int32_t(r->iBit));
            StartHunting(r, r->tEdge + r->nBit / 2);
            return;
        }
        r->bFrame = uint8_t(r->bFrame * 2 + (bMark ? 1 : 0));
        if (++r->iBit < kFrameBits)
            continue;
        // Start bit 0, five data bits, stop bit 1: the code sits in bits 5 to 1.
        const uint8_t bCode = (r->bFrame >> 1) & 31;
        Trace(nullptr, TRACE_DETAIL, L"sndprobe: tty frame at %ld ms, code %ld\n",
              int32_t(SamplesToMs(pInst, r->tEdge)), int32_t(bCode));
        DetectBaudotReportCode(pInst, bCode, SamplesToMs(pInst, r->tEdge),
                               SamplesToMs(pInst, tEnd - r->tEdge));
        // The next start bit follows the stop bit at the earliest.
        StartHunting(r, tEnd - r->nBit / 4);
    }
}

// Looks for the edge from a bit of mark to a bit of space at the sample one
// bit before the newest, where the bits on both sides are known.
void Hunt(BaudotRobust *r, const BitView &vNow) {
    const int64_t t = r->n - 1 - r->nBit;
    if (t < r->tResume)
        return;
    const BitView &vThen = r->pViews[t % (r->nBit + 1)];
    const bool bEdge = vThen.bCarrier && vNow.bCarrier && vThen.dNorm - vNow.dNorm >= kMinEdge;
    if (!r->bTracking) {
        if (!bEdge)
            return;
        r->bTracking = true;
        r->tTrackEnd = t + 3 * r->nBit / 4;
        r->dEdgeBest = -INFINITY;
    }
    // The raw difference falls off linearly on both sides of the true edge,
    // so its peak places the edge sharply.
    const double dEdge = vThen.dRaw - vNow.dRaw;
    if (bEdge && dEdge > r->dEdgeBest) {
        r->dEdgeBest = dEdge;
        r->tEdge = t;
    }
    if (t < r->tTrackEnd)
        return;
    r->bHunting = false;
    r->iBit = 0;
    r->bFrame = 0;
}

} // namespace

int32_t DetectBaudotRobustInit(DetectInstance *pInst) {
    const double dRate = pInst->wfx.nSamplesPerSec;
    const int32_t nBit = int32_t(lround(dRate / kBaud));
    // Both tones must lie below half the rate, and a bit needs samples.
    if (dRate <= 2 * BAUDOT_SPACE || nBit < 8) {
        TracePosition(DETECT_UNIT, 70);
        return -1;
    }
    const size_t cb =
        sizeof(BaudotRobust) + sizeof(Terms) * size_t(nBit) + sizeof(BitView) * size_t(nBit + 1);
    auto *r = static_cast<BaudotRobust *>(MemAllocEx(nullptr, uint32_t(cb), 0, DETECT_UNIT, 79));
    if (r == nullptr) {
        TracePosition(DETECT_UNIT, 71);
        return -1;
    }
    r->nBit = nBit;
    r->dBit = dRate / kBaud;
    r->pTerms = reinterpret_cast<Terms *>(r + 1);
    r->pViews = reinterpret_cast<BitView *>(r->pTerms + nBit);
    r->markCos = r->spaceCos = 1;
    r->markStepCos = cos(kTwoPi * BAUDOT_MARK / dRate);
    r->markStepSin = sin(kTwoPi * BAUDOT_MARK / dRate);
    r->spaceStepCos = cos(kTwoPi * BAUDOT_SPACE / dRate);
    r->spaceStepSin = sin(kTwoPi * BAUDOT_SPACE / dRate);
    StartHunting(r, 0);
    DetectBaudotState(pInst)->pRobust = r;
    return 0;
}

int32_t DetectBaudotRobustTerm(DetectInstance *pInst) {
    BaudotState *st = DetectBaudotState(pInst);
    if (st->pRobust != nullptr && MemFreeEx(nullptr, st->pRobust, DETECT_UNIT, 80)) {
        TracePosition(DETECT_UNIT, 72);
        return -1;
    }
    st->pRobust = nullptr;
    return 0;
}

void DetectBaudotRobustStep(DetectInstance *pInst, const uint8_t *pData, int32_t cb) {
    BaudotRobust *r = DetectBaudotState(pInst)->pRobust;
    const int32_t nSamples = DetectSampleCount(pInst, cb);
    for (int32_t i = 0; i < nSamples; ++i) {
        const BitView v = Push(r, DetectSample(pInst, pData, i));
        r->pViews[(r->n - 1) % (r->nBit + 1)] = v;
        if (r->bHunting)
            Hunt(r, v);
        FrameBits(pInst, r);
    }
}
