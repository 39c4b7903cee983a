#include "sndkit/wholefile.h"

#include "VmLib/trace.h"
#include "VmLib/vmlib.h"
#include "sndkit/wavtime.h"

#define UNIT L"sndprobe"

namespace {

// A source stored as 16-bit mono PCM holds the analysis format itself: it is
// analysed where it lies, with no copy and no buffer of its size (on an
// hour's recording that is 40% of the run, on 5 s still a tenth). It keeps
// the length that decoding would give; anything else is decoded.
bool MapWholeFile(WholeFile *pFile, HWAVFILE hSource, const WAVEFORMATEX *pwfxStored,
                  int32_t cbTotal) {
    if (pwfxStored->wFormatTag != WAVE_FORMAT_PCM || pwfxStored->nChannels != 1 ||
        pwfxStored->wBitsPerSample != 16 || pwfxStored->nBlockAlign != 2)
        return false;
    const int32_t cbData = WavGetDataSize(hSource);
    const void *pData = cbData >= 2 ? WavMapData(hSource) : nullptr;
    if (!pData)
        return false;
    pFile->pData = static_cast<const uint8_t *>(pData);
    pFile->cbValid = cbTotal < (cbData & ~1) ? cbTotal : cbData & ~1;
    pFile->mapped = true;
    return true;
}

} // namespace

int32_t LoadWholeFile(WholeFile *pFile, HWAVFILE hSource, const WAVEFORMATEX *pwfxStored) {
    int32_t msLength = WavGetLength(hSource);
    if (msLength < 0) {
        TracePosition(UNIT, 1);
        return -1;
    }
    WAVEFORMATEX *pwfxPlay = WavGetFormat(hSource, WAV_FORMAT_PLAY);
    if (!pwfxPlay) {
        TracePosition(UNIT, 2);
        return -1;
    }
    int32_t result = 0;
    int32_t cbTotal = WavFormatMsToBytes(pwfxPlay, static_cast<uint32_t>(msLength), +1);
    uint8_t *pBuffer = nullptr;
    if (cbTotal <= 0) {
        // Also a file without a millisecond of audio: there is nothing to analyse.
        TracePosition(UNIT, 3);
        pFile->empty = msLength == 0;
        result = -1;
    } else if (!MapWholeFile(pFile, hSource, pwfxStored, cbTotal)) {
        // Only the bytes delivered are ever read, so the buffer need not be zeroed.
        pBuffer =
            static_cast<uint8_t *>(VM_ALLOC(static_cast<uint32_t>(cbTotal), MEM_NOZERO, UNIT, 308));
        pFile->pData = pBuffer;
        if (!pBuffer) {
            TracePosition(UNIT, 4);
            result = -1;
        }
    }
    while (result == 0 && pBuffer && pFile->cbValid < cbTotal) {
        int32_t n = WavReadFormatPlay(hSource, pBuffer + pFile->cbValid, cbTotal - pFile->cbValid);
        if (n < 0 || n > cbTotal - pFile->cbValid) {
            TracePosition(UNIT, 5);
            result = -1;
        } else if (n == 0) {
            break;
        } else {
            pFile->cbValid += n;
        }
    }
    if (result == 0 && pFile->cbValid == 0) {
        TracePosition(UNIT, 6);
        pFile->empty = true;
        result = -1;
    }
    if (WavFormatFree(pwfxPlay)) {
        TracePosition(UNIT, 7);
        result = -1;
    }
    return result;
}

// The next block of at most cbCapacity bytes, where it lies in the whole
// file: its length (0 after the last one) or -1.
int32_t NextBlock(WholeFile *pFile, const uint8_t **ppBlock, int32_t cbCapacity) {
    if (!pFile->pData) {
        TracePosition(UNIT, 11);
        return -1;
    }
    int32_t n = pFile->cbValid - pFile->cbPosition;
    if (n > cbCapacity)
        n = cbCapacity;
    if (n <= 0)
        return 0;
    *ppBlock = pFile->pData + pFile->cbPosition;
    pFile->cbPosition += n;
    return n;
}

int32_t ReleaseWholeFile(WholeFile *pFile) {
    int32_t result = 0;
    if (pFile->pData && !pFile->mapped && VM_FREE(const_cast<uint8_t *>(pFile->pData), UNIT, 309)) {
        TracePosition(UNIT, 9);
        result = -1;
    }
    pFile->pData = nullptr;
    return result;
}
