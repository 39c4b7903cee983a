#include "sndkit/detect_internal.h"

#include <string.h>

#include <algorithm>

#include "VmLib/handles.h"
#include "VmLib/trace.h"
#include "VmLib/vmlib.h"
#include "sndkit/wavtime.h"

namespace {

// The instance of a live handle, or null after the error position nPosition.
DetectInstance *LiveInstance(HDETECT hDetect, uint32_t nPosition) {
    if (!HandleIsLive(hDetect, HANDLE_KIND_DETECT) || hDetect->dwVersion != DETECT_VERSION) {
        TracePosition(DETECT_UNIT, nPosition);
        return nullptr;
    }
    return hDetect;
}

int32_t ProcessWindow(DetectInstance *pInst, const uint8_t *pData, int32_t cb) {
    Trace(nullptr, TRACE_ENTRY, L"DetectProcessWindow (sizBuf=%ld) entered\n", int32_t(cb));
    DetectStats stats;
    const DetectStats *pStats = nullptr;
    if (pData != nullptr) {
        DetectComputeStats(pInst, pData, cb, &stats);
        pStats = &stats;
    }
    return pInst->pKind->pfnWindow(pInst, pData, cb, pStats);
}

// Releases what the kind acquired; 0 or -1.
int32_t TermKind(DetectInstance *pInst) {
    const DetectKind *pKind = pInst->pKind;
    return pKind != nullptr && pKind->pfnTerm != nullptr ? pKind->pfnTerm(pInst) : 0;
}

// Keeps cb more bytes of an unfinished window for the next block. The
// buffer grows with what is kept, up to one window.
int32_t CarryBytes(DetectInstance *pInst, const uint8_t *pData, int32_t cb) {
    const int32_t cbNeed = pInst->cbCarry + cb;
    if (cbNeed > pInst->cbCarryAlloc) {
        const int32_t cbAlloc = std::min(
            pInst->cbWindow, std::max(cbNeed, std::min(pInst->cbCarryAlloc, INT32_MAX / 2) * 2));
        void *p = pInst->pCarry == nullptr
                      ? MemAllocEx(nullptr, uint32_t(cbAlloc), MEM_NOZERO, DETECT_UNIT, 73)
                      : MemReAllocEx(nullptr, pInst->pCarry, uint32_t(cbAlloc), MEM_NOZERO,
                                     DETECT_UNIT, 74);
        if (p == nullptr)
            return -1;
        pInst->pCarry = static_cast<uint8_t *>(p);
        pInst->cbCarryAlloc = cbAlloc;
    }
    memcpy(pInst->pCarry + pInst->cbCarry, pData, size_t(cb));
    pInst->cbCarry = cbNeed;
    return 0;
}

} // namespace

HDETECT DetectInit(uint32_t dwVersion, VMHINSTANCE hInstance, const WAVEFORMATEX *pwfx,
                   uint32_t dwType, uint32_t lParam, uint32_t msDuration, uint32_t msWindow,
                   DetectEventProc pfnEventProc, uintptr_t dwUser, uint32_t dwFlags) {
    if (dwVersion != DETECT_VERSION || hInstance == nullptr || pwfx == nullptr ||
        pwfx->wFormatTag != WAVE_FORMAT_PCM) {
        TracePosition(DETECT_UNIT, 2);
        return nullptr;
    }
    // The record has room for the kind's state; an unknown kind is refused
    // once the record is built.
    const DetectKind *pKind = DetectFindKind(dwType);
    const size_t cbState = pKind != nullptr ? pKind->cbState : 0;
    auto *pInst = static_cast<DetectInstance *>(
        MemAllocEx(nullptr, uint32_t(sizeof(DetectInstance) + cbState), 0, DETECT_UNIT, 75));
    if (pInst == nullptr) {
        TracePosition(DETECT_UNIT, 3);
        return nullptr;
    }
    bool bOk = true;
    pInst->dwVersion = DETECT_VERSION;
    pInst->hInstance = hInstance;
    pInst->hProcess = VmCurrentProcess();
    pInst->wfx = *pwfx;
    pInst->pwfx = &pInst->wfx;
    pInst->dwType = dwType;
    pInst->lParam = lParam;
    pInst->pKind = pKind;
    if (pKind == nullptr) {
        TracePosition(DETECT_UNIT, 4);
        bOk = false;
    } else {
        pInst->msDuration = msDuration != DETECT_DEFAULT ? msDuration : pKind->msDuration;
        pInst->msWindow = msWindow != DETECT_DEFAULT ? msWindow : pKind->msWindow;
    }
    pInst->pfnEventProc = pfnEventProc;
    pInst->dwUser = dwUser;
    pInst->dwFlags = dwFlags;
    pInst->cbDuration = WavFormatMsToBytes(pInst->pwfx, pInst->msDuration, +1);
    pInst->cbWindow = WavFormatMsToBytes(pInst->pwfx, pInst->msWindow, +1);
    pInst->cbRun = 0;
    pInst->cbPosition = 0;
    pInst->pCarry = nullptr;
    pInst->cbCarry = 0;
    pInst->cbCarryAlloc = 0;
    // A window of no bytes would never advance through a block.
    if (bOk && pInst->cbWindow <= 0) {
        TracePosition(DETECT_UNIT, 5);
        bOk = false;
    }
    if (bOk && pInst->cbDuration < 0) {
        TracePosition(DETECT_UNIT, 6);
        bOk = false;
    }
    if (bOk && pKind->pfnInit != nullptr && pKind->pfnInit(pInst) != 0)
        bOk = false;
    if (bOk && HandleAdd(pInst, HANDLE_KIND_DETECT) != 0) {
        TracePosition(DETECT_UNIT, 7);
        bOk = false;
    }
    if (!bOk) {
        if (TermKind(pInst) != 0)
            TracePosition(DETECT_UNIT, 19);
        if (MemFreeEx(nullptr, pInst, DETECT_UNIT, 76) != nullptr)
            TracePosition(DETECT_UNIT, 8);
        return nullptr;
    }
    return pInst;
}

int32_t DetectProcessBlock(HDETECT hDetect, const void *pBuffer, int32_t sizBuf, uint32_t) {
    Trace(nullptr, TRACE_ENTRY, L"DetectProcessBlock (sizBuf=%ld) entered\n", int32_t(sizBuf));
    DetectInstance *pInst = LiveInstance(hDetect, 9);
    if (pInst == nullptr)
        return -1;
    if (pBuffer == nullptr) {
        // Only the end of the data closes a window short.
        const int32_t cbTail = pInst->cbCarry;
        pInst->cbCarry = 0;
        if ((cbTail > 0 && ProcessWindow(pInst, pInst->pCarry, cbTail) != 0) ||
            ProcessWindow(pInst, nullptr, 0) != 0)
            return TraceFail(DETECT_UNIT, 10);
        return 0;
    }
    if (sizBuf < 0)
        return TraceFail(DETECT_UNIT, 11);
    const auto *pData = static_cast<const uint8_t *>(pBuffer);
    int32_t off = 0;
    if (pInst->cbCarry > 0) {
        off = std::min(pInst->cbWindow - pInst->cbCarry, sizBuf);
        if (CarryBytes(pInst, pData, off) != 0)
            return TraceFail(DETECT_UNIT, 16);
        if (pInst->cbCarry == pInst->cbWindow) {
            pInst->cbCarry = 0;
            if (ProcessWindow(pInst, pInst->pCarry, pInst->cbWindow) != 0)
                return TraceFail(DETECT_UNIT, 12);
        }
    }
    for (; sizBuf - off >= pInst->cbWindow; off += pInst->cbWindow) {
        if (ProcessWindow(pInst, pData + off, pInst->cbWindow) != 0)
            return TraceFail(DETECT_UNIT, 22);
    }
    if (off < sizBuf && CarryBytes(pInst, pData + off, sizBuf - off) != 0)
        return TraceFail(DETECT_UNIT, 21);
    return 0;
}

int32_t DetectTerm(HDETECT hDetect) {
    DetectInstance *pInst = LiveInstance(hDetect, 13);
    if (pInst == nullptr)
        return -1;
    if (TermKind(pInst) != 0)
        return TraceFail(DETECT_UNIT, 20);
    if (pInst->pCarry != nullptr && MemFreeEx(nullptr, pInst->pCarry, DETECT_UNIT, 77) != nullptr)
        return TraceFail(DETECT_UNIT, 17);
    pInst->pCarry = nullptr;
    if (MemFreeEx(nullptr, pInst, DETECT_UNIT, 78) != nullptr)
        return TraceFail(DETECT_UNIT, 14);
    HandleRemove(pInst, HANDLE_KIND_DETECT);
    return 0;
}

void DetectReportEvent(DetectInstance *pInst, uint32_t msStart, uint32_t msDuration,
                       uint32_t lParam) {
    if (LiveInstance(pInst, 15) == nullptr)
        return;
    if (pInst->pfnEventProc != nullptr)
        pInst->pfnEventProc(pInst->dwUser, pInst->dwType, msStart, msDuration, pInst->msWindow,
                            lParam);
}

void DetectReportRun(DetectInstance *pInst, uint32_t lParam) {
    const uint32_t msStart =
        WavFormatBytesToMs(pInst->pwfx, uint32_t(pInst->cbPosition - pInst->cbRun));
    const uint32_t msDuration = WavFormatBytesToMs(pInst->pwfx, uint32_t(pInst->cbRun));
    DetectReportEvent(pInst, msStart, msDuration, lParam);
}

int32_t DetectPresenceStep(DetectInstance *pInst, bool bPresent, int32_t cb, uint32_t lParam) {
    if (bPresent) {
        pInst->cbRun += cb;
    } else {
        if (pInst->cbRun >= pInst->cbDuration)
            DetectReportRun(pInst, lParam);
        pInst->cbRun = 0;
    }
    pInst->cbPosition += cb;
    return 0;
}

void DetectClassStep(DetectInstance *pInst, bool bSameClass, int32_t cb,
                     void (*pfnEnd)(DetectInstance *pInst)) {
    if (!bSameClass && pInst->cbRun != 0) {
        pfnEnd(pInst);
        pInst->cbRun = cb;
    } else {
        pInst->cbRun += cb;
    }
    pInst->cbPosition += cb;
}
