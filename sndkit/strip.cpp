#include "sndkit/strip.h"

#include <algorithm>

#include "VmLib/trace.h"
#include "sndkit/eventlist.h"
#include "sndkit/wavtime.h"

#define UNIT L"sndprobe"

static int32_t ClampMs(int64_t v) {
    return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

HVMARRAY ProcessSpans(HVMARRAY hSpans, int32_t msLength, const WAVEFORMATEX *, int32_t,
                      int32_t dwFlags) {
    HVMARRAY hOut = CreateSpanList();
    if (!hOut) {
        TracePosition(UNIT, 200);
        return nullptr;
    }
    bool leading = (dwFlags & STRIP_LEADING) != 0;
    bool trailing = (dwFlags & STRIP_TRAILING) != 0;
    int32_t n = ArrayGetSize(hSpans);
    for (int32_t i = 0; i < n; ++i) {
        const EventSpan *p = SpanAt(hSpans, i);
        if (!p)
            goto fail;
        {
            int64_t duration = p->msDuration;
            if (leading || trailing) {
                if (trailing && int64_t{p->msStart} + p->msDuration + p->msWindow >= msLength)
                    duration += p->msWindow;
                else if (!(leading && p->msStart <= 0))
                    continue;
            }
            if (AppendSpan(hOut, p->msStart, ClampMs(duration), p->msWindow))
                goto fail;
        }
    }
    return hOut;
fail:
    TracePosition(UNIT, 201);
    DestroySpanList(hOut);
    return nullptr;
}

HVMARRAY InvertSpans(HVMARRAY hSpans, int32_t msLength) {
    HVMARRAY hOut = CreateSpanList();
    if (!hOut) {
        TracePosition(UNIT, 202);
        return nullptr;
    }
    int32_t n = ArrayGetSize(hSpans);
    int64_t pos = 0;
    int32_t msWindow = 0;
    if (n <= 0) {
        if (AppendSpan(hOut, 0, msLength, 0))
            goto fail;
        return hOut;
    }
    for (int32_t i = 0; i < n; ++i) {
        const EventSpan *p = SpanAt(hSpans, i);
        if (!p)
            goto fail;
        if (pos < p->msStart &&
            AppendSpan(hOut, ClampMs(pos), ClampMs(p->msStart - pos), p->msWindow))
            goto fail;
        // Taken as it comes, also when an overlapping span ends earlier.
        pos = int64_t{p->msStart} + p->msDuration;
        msWindow = p->msWindow;
    }
    if (pos < msLength && AppendSpan(hOut, ClampMs(pos), ClampMs(msLength - pos), msWindow))
        goto fail;
    return hOut;
fail:
    TracePosition(UNIT, 203);
    DestroySpanList(hOut);
    return nullptr;
}

HVMARRAY AdjustSpans(HVMARRAY hSpans, int32_t msLength, const WAVEFORMATEX *, int32_t msEdge,
                     int32_t) {
    HVMARRAY hOut = CreateSpanList();
    if (!hOut) {
        TracePosition(UNIT, 204);
        return nullptr;
    }
    int32_t n = ArrayGetSize(hSpans);
    if (n <= 0) {
        if (msEdge > 0 &&
            AppendSpan(hOut, 0, ClampMs(std::min<int64_t>(2 * int64_t{msEdge}, msLength)), 0))
            goto fail;
        return hOut;
    }
    for (int32_t i = 0; i < n; ++i) {
        const EventSpan *p = SpanAt(hSpans, i);
        if (!p)
            goto fail;
        int64_t pad = msEdge >= 0 ? msEdge : p->msWindow;
        int64_t start = std::max<int64_t>(0, p->msStart - pad);
        int64_t end = int64_t{p->msStart} + p->msDuration + pad;
        int64_t duration =
            std::clamp<int64_t>(end - start, 0, std::max<int64_t>(0, msLength - start));
        if (AppendSpan(hOut, ClampMs(start), ClampMs(duration), p->msWindow))
            goto fail;
    }
    return hOut;
fail:
    TracePosition(UNIT, 205);
    DestroySpanList(hOut);
    return nullptr;
}

// Copies cb raw bytes from the current position of hSource to hDest.
static int32_t CopyRaw(HWAVFILE hSource, HWAVFILE hDest, int32_t cb) {
    while (cb > 0) {
        int32_t n = WavCopyRaw(hSource, hDest, cb);
        if (n <= 0 || n > cb) {
            TracePosition(UNIT, 206);
            return -1;
        }
        cb -= n;
    }
    return 0;
}

static int32_t WriteSpanList(HVMARRAY hSpans, HWAVFILE hSource, HWAVFILE hDest,
                             const WAVEFORMATEX *pwfxStored, int32_t msLength) {
    int32_t cbData = WavGetDataSize(hSource);
    if (cbData < 0) {
        TracePosition(UNIT, 208);
        return -1;
    }
    int32_t n = ArrayGetSize(hSpans);
    int32_t result = 0;
    for (int32_t i = 0; i < n && result == 0; ++i) {
        const EventSpan *p = SpanAt(hSpans, i);
        if (!p || p->msStart < 0 || p->msDuration < 0) {
            TracePosition(UNIT, 209);
            result = -1;
            break;
        }
        int32_t offset = WavFormatMsToBytes(pwfxStored, static_cast<uint32_t>(p->msStart), -1);
        int32_t count = WavFormatMsToBytes(pwfxStored, static_cast<uint32_t>(p->msDuration), +1);
        if (offset < 0 || count < 0) {
            TracePosition(UNIT, 210);
            result = -1;
            break;
        }
        // Whole milliseconds never drop the tail of the data.
        if (int64_t{p->msStart} + p->msDuration >= msLength)
            count = cbData - std::min(offset, cbData);
        count = std::min(count, cbData - std::min(offset, cbData));
        if (count == 0)
            continue;
        if (WavSeek(hSource, offset, 0) != offset) {
            TracePosition(UNIT, 211);
            result = -1;
            break;
        }
        if (CopyRaw(hSource, hDest, count)) {
            TracePosition(UNIT, 213);
            result = -1;
        }
    }
    return result;
}

int32_t WriteSpans(HVMARRAY hSpans, HWAVFILE hSource, const wchar_t *pszDest,
                   const WAVEFORMATEX *pwfxStored, int32_t msLength, int32_t) {
    if (!pszDest || !*pszDest) {
        TracePosition(UNIT, 215);
        Trace(nullptr, TRACE_RESULT, L"sndprobe: unable to create file: %s\n", L"");
        return -1;
    }
    // The library keeps the new file out of sight until it is complete.
    HWAVFILE hDest =
        WavOpen(WAV_VERSION, VmModuleHandle(), pszDest, pwfxStored, 0, 0, WAV_MODE_CREATE);
    if (!hDest) {
        TracePosition(UNIT, 216);
        Trace(nullptr, TRACE_RESULT, L"sndprobe: unable to create file: %s\n", pszDest);
        return -1;
    }
    int32_t result = WriteSpanList(hSpans, hSource, hDest, pwfxStored, msLength);
    if (result != 0) {
        if (WavDiscard(hDest))
            TracePosition(UNIT, 217);
    } else if (WavClose(hDest)) {
        TracePosition(UNIT, 218);
        Trace(nullptr, TRACE_RESULT, L"sndprobe: unable to create file: %s\n", pszDest);
        result = -1;
    }
    return result;
}

int32_t StripFile(HVMARRAY hEvents, HWAVFILE hSource, const wchar_t *pszDest,
                  const WAVEFORMATEX *pwfxStored, const WAVEFORMATEX *pwfxAnalysis, int32_t msEdge,
                  int32_t dwFlags) {
    HVMARRAY hProcessed = nullptr, hInverse = nullptr, hAdjusted = nullptr;
    HVMARRAY hKept = nullptr;
    int32_t result = -1;
    int32_t msLength = WavGetLength(hSource);
    if (msLength < 0) {
        TracePosition(UNIT, 220);
        goto cleanup;
    }
    if (ArraySort(hEvents, CompareSpans)) {
        TracePosition(UNIT, 221);
        goto cleanup;
    }
    if (DumpSpans(hEvents, L"------------ hArrayEvents")) {
        TracePosition(UNIT, 222);
        goto cleanup;
    }
    hProcessed = ProcessSpans(hEvents, msLength, pwfxAnalysis, msEdge, dwFlags);
    if (!hProcessed || DumpSpans(hProcessed, L"------------ hArrayProcess")) {
        TracePosition(UNIT, 223);
        goto cleanup;
    }
    if (dwFlags & STRIP_EXTRACT) {
        hKept = hProcessed;
    } else {
        hInverse = InvertSpans(hProcessed, msLength);
        if (!hInverse || DumpSpans(hInverse, L"------------ hArrayInverse")) {
            TracePosition(UNIT, 224);
            goto cleanup;
        }
        hKept = hInverse;
    }
    hAdjusted = AdjustSpans(hKept, msLength, pwfxAnalysis, msEdge, dwFlags);
    if (!hAdjusted || DumpSpans(hAdjusted, L"------------ hArrayAdjust")) {
        TracePosition(UNIT, 225);
        goto cleanup;
    }
    if (WriteSpans(hAdjusted, hSource, pszDest, pwfxStored, msLength, dwFlags)) {
        TracePosition(UNIT, 226);
        goto cleanup;
    }
    result = 0;
cleanup:
    if (DestroySpanList(hProcessed) | DestroySpanList(hInverse) | DestroySpanList(hAdjusted)) {
        TracePosition(UNIT, 227);
        result = -1;
    }
    return result;
}
