#include "sndkit/strip.h"

#include <algorithm>

#include "VmLib/trace.h"
#include "sndkit/eventlist.h"
#include "sndkit/wavtime.h"

#define UNIT L"sndprobe"

namespace {

int32_t ClampMs(int64_t v) {
    return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

// A stage's new span list, filled by fill; on failure nothing is left and the
// stage's error position (nCreate or nFill) is written.
template <class Fill> HVMARRAY Stage(uint32_t nCreate, uint32_t nFill, Fill fill) {
    HVMARRAY hOut = CreateSpanList();
    if (!hOut) {
        TracePosition(UNIT, nCreate);
        return nullptr;
    }
    if (!fill(hOut)) {
        TracePosition(UNIT, nFill);
        DestroySpanList(hOut);
        return nullptr;
    }
    return hOut;
}

// Calls step with every span in order; false once a span is missing or a
// step fails.
template <class Step> bool EachSpan(HVMARRAY hSpans, Step step) {
    int32_t n = ArrayGetSize(hSpans);
    for (int32_t i = 0; i < n; ++i) {
        const EventSpan *p = SpanAt(hSpans, i);
        if (!p || !step(*p))
            return false;
    }
    return true;
}

} // namespace

namespace {

// Gaps up to a click and a soft ending's hold (the silence detector's), or
// up to the span's window, do not part the events at the end of a recording.
constexpr int64_t kClosingGapMs = 100;

struct ClosingKey {
    int64_t msStart;     // where the events that end with the key begin
    int64_t msKey;       // where the first key among them begins
    int64_t msKeyWindow; // its detector's window, how early its tone may begin
};

// The events that reach the end of the audio one after another when a DTMF
// key is among them, else {msLength, msLength}. The air after the last of
// them may be up to msTail: too short to have been reported as silence.
// hEvents is sorted by start.
ClosingKey FindClosingKey(HVMARRAY hEvents, int32_t msLength, int32_t msTail) {
    int64_t chain = msLength, key = msLength, keyWindow = 0;
    for (int32_t i = ArrayGetSize(hEvents) - 1; i >= 0; --i) {
        const EventSpan *p = SpanAt(hEvents, i);
        if (!p)
            return {msLength, msLength, 0};
        const int64_t end = int64_t{p->msStart} + p->msDuration;
        const int64_t gap = std::max<int64_t>(
            {p->msWindow, kClosingGapMs, chain == msLength ? int64_t{msTail} : 0});
        if (p->msStart < chain && end + gap >= chain) {
            chain = std::max<int64_t>(0, p->msStart);
            if (p->dwType == DETECT_DTMF) {
                key = chain;
                keyWindow = p->msWindow;
            }
        }
    }
    return key < msLength ? ClosingKey{chain, key, keyWindow} : ClosingKey{msLength, msLength, 0};
}

ClosingKey ClosingKeyOf(HVMARRAY hEvents, int32_t msLength, int32_t dwFlags, int32_t msTail) {
    if ((dwFlags & STRIP_TRAILING) && (dwFlags & STRIP_CLOSING_KEY))
        return FindClosingKey(hEvents, msLength, msTail);
    return {msLength, msLength, 0};
}

} // namespace

HVMARRAY ProcessSpans(HVMARRAY hEvents, int32_t msLength, int32_t dwFlags, int32_t msKeyTail) {
    const bool leading = (dwFlags & STRIP_LEADING) != 0;
    const bool trailing = (dwFlags & STRIP_TRAILING) != 0;
    // A closing key and the air around it end the recording as one silence.
    const int64_t msClosing = ClosingKeyOf(hEvents, msLength, dwFlags, msKeyTail).msStart;
    return Stage(200, 201, [&](HVMARRAY hOut) {
        int32_t msClosingWindow = -1;
        bool ok = EachSpan(hEvents, [&](const EventSpan &e) {
            if (e.msStart >= msClosing) {
                if (msClosingWindow < 0)
                    msClosingWindow = e.msWindow;
                return true;
            }
            int64_t duration = e.msDuration;
            if (leading || trailing) {
                if (trailing && int64_t{e.msStart} + e.msDuration + e.msWindow >= msLength)
                    duration += e.msWindow;
                else if (!(leading && e.msStart <= 0))
                    return true;
            }
            return AppendSpan(hOut, e.msStart, ClampMs(duration), e.msWindow) == 0;
        });
        return ok && (msClosingWindow < 0 ||
                      AppendSpan(hOut, ClampMs(msClosing), ClampMs(msLength - msClosing),
                                 msClosingWindow) == 0);
    });
}

HVMARRAY InvertSpans(HVMARRAY hSpans, int32_t msLength) {
    return Stage(202, 203, [&](HVMARRAY hOut) {
        if (ArrayGetSize(hSpans) <= 0)
            return AppendSpan(hOut, 0, msLength, 0) == 0;
        int64_t pos = 0;
        int32_t msWindow = 0;
        bool ok = EachSpan(hSpans, [&](const EventSpan &e) {
            if (pos < e.msStart &&
                AppendSpan(hOut, ClampMs(pos), ClampMs(e.msStart - pos), e.msWindow))
                return false;
            // Taken as it comes, also when an overlapping span ends earlier.
            pos = int64_t{e.msStart} + e.msDuration;
            msWindow = e.msWindow;
            return true;
        });
        return ok && (pos >= msLength ||
                      AppendSpan(hOut, ClampMs(pos), ClampMs(msLength - pos), msWindow) == 0);
    });
}

HVMARRAY AdjustSpans(HVMARRAY hSpans, int32_t msLength, int32_t msEdge, int32_t msStop) {
    return Stage(204, 205, [&](HVMARRAY hOut) {
        if (ArrayGetSize(hSpans) <= 0)
            return msEdge <= 0 ||
                   AppendSpan(hOut, 0, ClampMs(std::min<int64_t>(2 * int64_t{msEdge}, msLength)),
                              0) == 0;
        return EachSpan(hSpans, [&](const EventSpan &e) {
            int64_t pad = msEdge >= 0 ? msEdge : e.msWindow;
            int64_t start = std::max<int64_t>(0, e.msStart - pad);
            int64_t end = int64_t{e.msStart} + e.msDuration + pad;
            // Padding never reaches into a closing key.
            if (end > msStop)
                end = std::max<int64_t>(start, std::min<int64_t>(end, msStop));
            int64_t duration =
                std::clamp<int64_t>(end - start, 0, std::max<int64_t>(0, msLength - start));
            return AppendSpan(hOut, ClampMs(start), ClampMs(duration), e.msWindow) == 0;
        });
    });
}

namespace {

// Copies cb raw bytes from the current position of hSource to hDest.
int32_t CopyRaw(HWAVFILE hSource, HWAVFILE hDest, int32_t cb) {
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

int32_t WriteSpanList(HVMARRAY hSpans, HWAVFILE hSource, HWAVFILE hDest,
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

} // namespace

int32_t WriteSpans(HVMARRAY hSpans, HWAVFILE hSource, const wchar_t *pszDest,
                   const WAVEFORMATEX *pwfxStored, int32_t msLength) {
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

HVMARRAY StripPlan(HVMARRAY hEvents, int32_t msLength, int32_t msEdge, int32_t dwFlags,
                   int32_t msKeyTail) {
    if (ArraySort(hEvents, CompareSpans)) {
        TracePosition(UNIT, 221);
        return nullptr;
    }
    if (DumpSpans(hEvents, L"------------ hArrayEvents")) {
        TracePosition(UNIT, 222);
        return nullptr;
    }
    HVMARRAY hProcessed = ProcessSpans(hEvents, msLength, dwFlags, msKeyTail);
    HVMARRAY hInverse = nullptr, hAdjusted = nullptr;
    bool ok = hProcessed && !DumpSpans(hProcessed, L"------------ hArrayProcess");
    if (!ok)
        TracePosition(UNIT, 223);
    if (ok && !(dwFlags & STRIP_EXTRACT)) {
        hInverse = InvertSpans(hProcessed, msLength);
        ok = hInverse && !DumpSpans(hInverse, L"------------ hArrayInverse");
        if (!ok)
            TracePosition(UNIT, 224);
    }
    if (ok) {
        const ClosingKey key = ClosingKeyOf(hEvents, msLength, dwFlags, msKeyTail);
        hAdjusted = AdjustSpans(hInverse ? hInverse : hProcessed, msLength, msEdge,
                                !hInverse ? msLength : ClampMs(key.msKey - key.msKeyWindow));
        ok = hAdjusted && !DumpSpans(hAdjusted, L"------------ hArrayAdjust");
        if (!ok)
            TracePosition(UNIT, 225);
    }
    if (DestroySpanList(hProcessed) | DestroySpanList(hInverse)) {
        TracePosition(UNIT, 227);
        ok = false;
    }
    if (!ok) {
        DestroySpanList(hAdjusted);
        return nullptr;
    }
    return hAdjusted;
}

namespace {

// Nothing kept is one empty stretch at 0, so that every report has a line.
void ReportSpans(HVMARRAY hKept, int32_t msLength) {
    int32_t n = ArrayGetSize(hKept);
    for (int32_t i = 0; i < n || (i == 0 && n == 0); ++i) {
        const EventSpan *p = n ? SpanAt(hKept, i) : nullptr;
        Trace(nullptr, TRACE_RESULT, L"sndprobe: kept msStart=%ld, msDuration=%ld, msLength=%ld\n",
              p ? p->msStart : 0, p ? p->msDuration : 0, msLength);
    }
}

} // namespace

int32_t StripFile(HVMARRAY hEvents, HWAVFILE hSource, const wchar_t *pszDest,
                  const WAVEFORMATEX *pwfxStored, int32_t msEdge, int32_t dwFlags,
                  int32_t msKeyTail) {
    int32_t msLength = WavGetLength(hSource);
    if (msLength < 0) {
        TracePosition(UNIT, 220);
        return -1;
    }
    HVMARRAY hKept = StripPlan(hEvents, msLength, msEdge, dwFlags, msKeyTail);
    if (!hKept)
        return -1;
    int32_t result = 0;
    if (dwFlags & STRIP_REPORT)
        ReportSpans(hKept, msLength);
    if (WriteSpans(hKept, hSource, pszDest, pwfxStored, msLength))
        TraceFailResult(&result, UNIT, 226);
    if (DestroySpanList(hKept))
        TraceFailResult(&result, UNIT, 304);
    return result;
}
