#include "sndkit/detect_internal.h"

#include <stdlib.h>

#include <algorithm>

#include "VmLib/trace.h"

namespace {

constexpr int32_t kRows[4] = {697, 770, 852, 941};
constexpr int32_t kColumns[4] = {1209, 1336, 1477, 1633};
constexpr char kKeys[4][5] = {"123A", "456B", "789C", "*0#D"};
constexpr int32_t kMinMagnitude = 1000;
constexpr uint16_t kNoKey = ' ';

struct DtmfState {
    uint16_t cPrevKey; // 0 before the first window, kNoKey for no key
};

DtmfState *State(DetectInstance *pInst) {
    return static_cast<DtmfState *>(DetectKindState(pInst));
}

// Index of the one tone of the group that stands out, -1 for none, -2 for a
// failed measurement. Ties keep the earlier frequency.
int32_t StrongestTone(const DetectInstance *pInst, const uint8_t *pData, int32_t cb,
                      const int32_t (&aFreq)[4]) {
    int32_t aMag[4];
    int32_t iBest = 0;
    for (int32_t i = 0; i < 4; ++i) {
        aMag[i] = DetectMagnitude(pInst, pData, cb, aFreq[i]);
        if (aMag[i] < 0)
            return -2;
        if (aMag[i] > aMag[iBest])
            iBest = i;
    }
    if (aMag[iBest] < kMinMagnitude)
        return -1;
    for (int32_t i = 0; i < 4; ++i)
        if (i != iBest && int64_t(aMag[i]) * 3 > aMag[iBest])
            return -1;
    return iBest;
}

// Limits of the sensitive classifier, as energy ratios: the least part of
// a window's energy that the key's two tones hold (a key that fills half the
// window holds about half of it, less in noise), and the same for the half
// of a window that a key may fill alone.
constexpr double kMinShare = 0.2;
constexpr double kMinHalfShare = 0.5;
constexpr double kGroupRatio = 4;     // each tone 6 dB above the rest of its group
constexpr double kRowTwist = 6.31;    // the row up to 8 dB above the column
constexpr double kColumnTwist = 2.51; // the column up to 4 dB above the row
constexpr double kHarmonicRatio = 0.25;
// Below the rows, 200 to 500 Hz, voices carry their pitch and first formant;
// the strongest probe there may reach 5 dB below the weaker tone.
constexpr double kLowRatio = 0.3;
constexpr int32_t kLowFromHz = 200, kLowToHz = 500, kLowStepHz = 50;
// A row's second harmonic this close to the key's column (keys 2, 6 and C)
// would measure the column, not the harmonic.
constexpr int32_t kHarmonicClearHz = 80;
// -60 dBFS per tone: a sine of amplitude 32.8 holds 537 per sample.
constexpr double kMinTonePower = 537;

// Index of the strongest of four energies when it stands kGroupRatio above
// each of the others, else -1.
int32_t Dominant(const double (&aEnergy)[4]) {
    int32_t iBest = 0;
    for (int32_t i = 1; i < 4; ++i)
        if (aEnergy[i] > aEnergy[iBest])
            iBest = i;
    for (int32_t i = 0; i < 4; ++i)
        if (i != iBest && aEnergy[i] * kGroupRatio > aEnergy[iBest])
            return -1;
    return iBest;
}

double SumOfSquares(const DetectInstance *pInst, const uint8_t *pData, int32_t n) {
    double sum = 0;
    for (int32_t i = 0; i < n; ++i) {
        const double x = DetectSample(pInst, pData, i);
        sum += x * x;
    }
    return sum;
}

// The key that stands out in cb bytes, or no key.
uint16_t SensitiveKey(const DetectInstance *pInst, const uint8_t *pData, int32_t cb,
                      double dMinShare) {
    const int32_t n = DetectSampleCount(pInst, cb);
    if (n <= 0)
        return kNoKey;
    double aRow[4], aColumn[4];
    for (int32_t i = 0; i < 4; ++i) {
        aRow[i] = DetectToneEnergy(pInst, pData, cb, kRows[i]);
        aColumn[i] = DetectToneEnergy(pInst, pData, cb, kColumns[i]);
    }
    const int32_t iRow = Dominant(aRow), iColumn = Dominant(aColumn);
    if (iRow < 0 || iColumn < 0)
        return kNoKey;
    const double eRow = aRow[iRow], eColumn = aColumn[iColumn];
    if (eRow < kMinTonePower * n || eColumn < kMinTonePower * n || eRow > eColumn * kRowTwist ||
        eColumn > eRow * kColumnTwist)
        return kNoKey;
    const double eTotal = SumOfSquares(pInst, pData, n);
    const uint16_t cKey = uint16_t(kKeys[iRow][iColumn]);
    Trace(nullptr, TRACE_DETAIL, L"sndprobe: key=%c, share=%ld%%\n", wchar_t(cKey),
          int32_t(100 * (eRow + eColumn) / eTotal));
    if (eRow + eColumn < dMinShare * eTotal)
        return kNoKey;
    // Voices have harmonics and low partials; a key has neither.
    const double dNyquist = pInst->wfx.nSamplesPerSec / 2.0;
    const int32_t nRow2 = 2 * kRows[iRow], nColumn2 = 2 * kColumns[iColumn];
    if (abs(nRow2 - kColumns[iColumn]) > kHarmonicClearHz && nRow2 < dNyquist &&
        DetectToneEnergy(pInst, pData, cb, nRow2) > eRow * kHarmonicRatio)
        return kNoKey;
    if (nColumn2 < dNyquist &&
        DetectToneEnergy(pInst, pData, cb, nColumn2) > eColumn * kHarmonicRatio)
        return kNoKey;
    const double eLowLimit = kLowRatio * std::min(eRow, eColumn);
    for (int32_t hz = kLowFromHz; hz <= kLowToHz; hz += kLowStepHz)
        if (DetectToneEnergy(pInst, pData, cb, hz) > eLowLimit)
            return kNoKey;
    return cKey;
}

bool IsKey(uint16_t c) {
    return c != 0 && c != kNoKey;
}

// The key, kNoKey for none, 0 for a failed measurement.
uint16_t Classify(const DetectInstance *pInst, const uint8_t *pData, int32_t cb) {
    const int32_t iRow = StrongestTone(pInst, pData, cb, kRows);
    if (iRow == -1)
        return kNoKey;
    const int32_t iColumn = iRow < 0 ? -2 : StrongestTone(pInst, pData, cb, kColumns);
    if (iColumn == -1)
        return kNoKey;
    if (iColumn < 0) {
        TracePosition(DETECT_UNIT, 50);
        return 0;
    }
    return uint16_t(kKeys[iRow][iColumn]);
}

// The same from energy ratios (DETECT_DTMF_SENSITIVE); never fails.
uint16_t ClassifySensitive(const DetectInstance *pInst, const uint8_t *pData, int32_t cb) {
    const uint16_t cKey = SensitiveKey(pInst, pData, cb, kMinShare);
    if (cKey != kNoKey)
        return cKey;
    // A key that fills half of the window fills one of its halves, where
    // noise over the other half no longer dilutes it.
    const int32_t cbSample = pInst->wfx.wBitsPerSample > 8 ? 2 : 1;
    const int32_t cbHalf = cb / (2 * cbSample) * cbSample;
    const uint16_t cFirst = SensitiveKey(pInst, pData, cbHalf, kMinHalfShare);
    return cFirst != kNoKey ? cFirst
                            : SensitiveKey(pInst, pData + cb - cbHalf, cbHalf, kMinHalfShare);
}

// Runs without a key are followed like key runs but never reported, so a key
// is reported once, when its run ends.
void EndKeyRun(DetectInstance *pInst) {
    const uint16_t cKey = State(pInst)->cPrevKey;
    if (pInst->cbRun >= pInst->cbDuration && IsKey(cKey))
        DetectReportRun(pInst, cKey);
}

int32_t DtmfStep(DetectInstance *pInst, const uint8_t *pData, int32_t cb, const DetectStats *) {
    DtmfState *st = State(pInst);
    if (pData == nullptr) {
        EndKeyRun(pInst);
        return 0;
    }
    const uint16_t cKey = (pInst->dwFlags & DETECT_DTMF_SENSITIVE)
                              ? ClassifySensitive(pInst, pData, cb)
                              : Classify(pInst, pData, cb);
    if (cKey == 0) {
        st->cPrevKey = 0;
        pInst->cbPosition += cb;
        TracePosition(DETECT_UNIT, 51);
        return -1;
    }
    DetectClassStep(pInst, cKey == st->cPrevKey, cb, EndKeyRun);
    st->cPrevKey = cKey;
    return 0;
}

} // namespace

// The kind, its default duration and window, its state; its init, window and term.
extern const DetectKind g_detectDtmf = {
    DETECT_DTMF, 40, 20, sizeof(DtmfState), nullptr, DtmfStep, nullptr,
};
