// Raw access to the audio data of vmwav.h: seeking, reading and mapping a
// source's bytes as stored, and writing or copying them into a new file.
#include <sys/mman.h>
#include <sys/stat.h>

#include <algorithm>

#include "VmLib/trace.h"
#include "vmwav/wavfile.h"

const void *WavMapData(HWAVFILE hWav) {
    if (!WavIsRead(hWav) || hWav->riff.cbData == 0) {
        TracePosition(WAV_UNIT, 35);
        return nullptr;
    }
    if (hWav->pMap == nullptr) {
        const uint64_t cbMap = hWav->riff.offData + hWav->riff.cbData;
        struct stat st;
        // Pages past the end of the file cannot be read, not even once.
        if (fstat(hWav->fd, &st) != 0 || uint64_t(st.st_size) < cbMap) {
            TracePosition(WAV_UNIT, 36);
            return nullptr;
        }
        void *p = mmap(nullptr, size_t(cbMap), PROT_READ, MAP_PRIVATE, hWav->fd, 0);
        if (p == MAP_FAILED) {
            TracePosition(WAV_UNIT, 37);
            return nullptr;
        }
        hWav->pMap = p;
        hWav->cbMap = size_t(cbMap);
    }
    return static_cast<const uint8_t *>(hWav->pMap) + hWav->riff.offData;
}

int32_t WavSeek(HWAVFILE hWav, int32_t lOffset, int32_t nOrigin) {
    if (!WavIsRead(hWav)) {
        TracePosition(WAV_UNIT, 38);
        return -1;
    }
    int64_t base;
    switch (nOrigin) {
    case SEEK_SET:
        base = 0;
        break;
    case SEEK_CUR:
        base = int64_t(hWav->offRaw);
        break;
    case SEEK_END:
        base = int64_t(hWav->riff.cbData);
        break;
    default:
        TracePosition(WAV_UNIT, 39);
        return -1;
    }
    const int64_t to = base + lOffset;
    if (to < 0 || to > int64_t(hWav->riff.cbData) || to > 0x7FFFFFFF) {
        TracePosition(WAV_UNIT, 40);
        return -1;
    }
    hWav->offRaw = uint64_t(to);
    return int32_t(to);
}

int32_t WavRead(HWAVFILE hWav, void *pBuffer, int32_t cb) {
    if (!WavIsRead(hWav) || pBuffer == nullptr || cb <= 0) {
        TracePosition(WAV_UNIT, 41);
        return -1;
    }
    const uint64_t n = std::min<uint64_t>(uint64_t(cb), hWav->riff.cbData - hWav->offRaw);
    if (n > 0 && WavReadData(hWav, hWav->offRaw, pBuffer, size_t(n)) != 0) {
        TracePosition(WAV_UNIT, 42);
        return -1;
    }
    hWav->offRaw += n;
    return int32_t(n);
}

int32_t WavWrite(HWAVFILE hWav, const void *pBuffer, int32_t cb) {
    if (!WavIsCreated(hWav) || cb < 0 || (pBuffer == nullptr && cb > 0)) {
        TracePosition(WAV_UNIT, 43);
        return -1;
    }
    const int rc = RiffWriterWrite(&hWav->writer, pBuffer, size_t(cb));
    if (rc != 0) {
        TraceCode(L"riffwrite", rc);
        return -1;
    }
    return cb;
}

int32_t WavCopyRaw(HWAVFILE hSource, HWAVFILE hDest, int32_t cb) {
    if (!WavIsRead(hSource) || !WavIsCreated(hDest) || cb <= 0) {
        TracePosition(WAV_UNIT, 44);
        return -1;
    }
    const uint64_t n = std::min<uint64_t>(uint64_t(cb), hSource->riff.cbData - hSource->offRaw);
    if (n == 0) {
        TracePosition(WAV_UNIT, 45);
        return -1;
    }
    const int rc = RiffWriterCopyFrom(&hDest->writer, hSource->fd,
                                      hSource->riff.offData + hSource->offRaw, size_t(n));
    if (rc != 0) {
        TraceCode(L"riffwrite", rc);
        return -1;
    }
    hSource->offRaw += n;
    return int32_t(n);
}
