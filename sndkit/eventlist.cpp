#include "sndkit/eventlist.h"

#include "VmLib/trace.h"

#define UNIT L"sndprobe"

HVMARRAY CreateSpanList(void) {
    HVMARRAY h = ArrayCreate(MEM_VERSION, VmModuleHandle());
    if (!h)
        TracePosition(UNIT, 100);
    return h;
}

int32_t AppendSpan(HVMARRAY hList, int32_t msStart, int32_t msDuration, int32_t msWindow) {
    return AppendEvent(hList, 0, msStart, msDuration, msWindow);
}

int32_t AppendEvent(HVMARRAY hList, uint32_t dwType, int32_t msStart, int32_t msDuration,
                    int32_t msWindow) {
    if (!hList) {
        TracePosition(UNIT, 101);
        return -1;
    }
    auto *p = static_cast<EventSpan *>(VM_ALLOC(sizeof(EventSpan), 0, UNIT, 305));
    if (!p) {
        TracePosition(UNIT, 102);
        return -1;
    }
    p->msStart = msStart;
    p->msDuration = msDuration;
    p->msWindow = msWindow;
    p->dwType = dwType;
    if (ArrayAdd(hList, reinterpret_cast<uintptr_t>(p)) < 0) {
        TracePosition(UNIT, 103);
        if (VM_FREE(p, UNIT, 306))
            TracePosition(UNIT, 104);
        return -1;
    }
    return 0;
}

const EventSpan *SpanAt(HVMARRAY hList, int32_t nIndex) {
    auto *p = reinterpret_cast<const EventSpan *>(ArrayGetAt(hList, nIndex));
    if (!p)
        TracePosition(UNIT, 105);
    return p;
}

int32_t DestroySpanList(HVMARRAY hList) {
    if (!hList)
        return 0;
    int32_t result = 0;
    int32_t n = ArrayGetSize(hList);
    for (int32_t i = 0; i < n; ++i) {
        void *p = reinterpret_cast<void *>(ArrayGetAt(hList, i));
        if (!p)
            TraceFailResult(&result, UNIT, 106);
        else if (VM_FREE(p, UNIT, 307))
            TraceFailResult(&result, UNIT, 107);
    }
    if (ArrayDestroy(hList))
        TraceFailResult(&result, UNIT, 108);
    return result;
}

// The printable text of a Baudot character in the long event line.
static const wchar_t *BaudotText(wchar_t c, wchar_t (&szOne)[2]) {
    switch (c) {
    case 0:
        return L"\\0";
    case 13:
        return L"\\r";
    case 10:
        return L"\\n";
    case 7:
        return L"\\x07";
    case 31:
        return L"\\x1F";
    case 27:
        return L"\\x1B";
    default:
        szOne[0] = c;
        szOne[1] = 0;
        return szOne;
    }
}

static void PrintEvent(uint32_t dwType, int32_t msStart, int32_t msDuration, uint32_t lParam) {
    switch (dwType) {
    case DETECT_SILENCE:
        Trace(nullptr, TRACE_RESULT,
              L"sndprobe: dwType=%s, msStart=%ld, msDuration=%ld, nThreshold=%ld\n",
              L"DETECT_SILENCE", msStart, msDuration, static_cast<int32_t>(lParam));
        break;
    case DETECT_TONE:
        Trace(nullptr, TRACE_RESULT,
              L"sndprobe: dwType=%s, msStart=%ld, msDuration=%ld, nFrequency=%ld\n", L"DETECT_TONE",
              msStart, msDuration, static_cast<int32_t>(lParam));
        break;
    case DETECT_DTMF: {
        uint32_t key = lParam & 0xFFFFu;
        if (TraceIsEnabled(nullptr, TRACE_ERROR))
            Trace(nullptr, TRACE_RESULT,
                  L"sndprobe: dwType=%s, msStart=%ld, msDuration=%ld, cDTMF=%c\n", L"DETECT_DTMF",
                  msStart, msDuration, key);
        else
            Trace(nullptr, TRACE_RESULT, L"%c", key); // keys run together on one line
        break;
    }
    case DETECT_BAUDOT: {
        auto c = static_cast<wchar_t>(lParam & 0xFFFFu);
        wchar_t szOne[2];
        if (TraceIsEnabled(nullptr, TRACE_ERROR)) {
            Trace(nullptr, TRACE_RESULT,
                  L"sndprobe: dwType=%s, msStart=%ld, msDuration=%ld, cBaudot=%s\n",
                  L"DETECT_BAUDOT", msStart, msDuration, BaudotText(c, szOne));
        } else if (c != DETECT_BAUDOT_FIGURES && c != DETECT_BAUDOT_LETTERS) {
            szOne[0] = c ? c : 8; // character 0 erases the one before
            szOne[1] = 0;
            Trace(nullptr, TRACE_RESULT, L"%s", szOne);
        }
        break;
    }
    default:
        Trace(nullptr, TRACE_RESULT,
              L"sndprobe: dwType=%s, msStart=%ld, msDuration=%ld, lParam=%ld", L"***UNKNOWN***",
              msStart, msDuration, static_cast<int32_t>(lParam));
        break;
    }
}

int32_t OnDetectEvent(uintptr_t dwUser, uint32_t dwType, uint32_t msStart, uint32_t msDuration,
                      uint32_t msWindow, uint32_t lParam) {
    auto start = static_cast<int32_t>(msStart);
    auto duration = static_cast<int32_t>(msDuration);
    if (AppendEvent(reinterpret_cast<HVMARRAY>(dwUser), dwType, start, duration,
                    static_cast<int32_t>(msWindow)))
        TracePosition(UNIT, 109);
    PrintEvent(dwType, start, duration, lParam);
    return 0;
}

int32_t DumpSpans(HVMARRAY hList, const wchar_t *pszTitle) {
    bool on = TraceIsEnabled(nullptr, TRACE_DETAIL) != 0;
    if (on)
        Trace(nullptr, TRACE_DETAIL, L"%s\n", pszTitle);
    int32_t n = ArrayGetSize(hList);
    if (n < 0) {
        TracePosition(UNIT, 110);
        return -1;
    }
    for (int32_t i = 0; i < n; ++i) {
        const EventSpan *p = SpanAt(hList, i);
        if (!p) {
            TracePosition(UNIT, 111);
            return -1;
        }
        if (on)
            Trace(nullptr, TRACE_DETAIL, L"msStart=%d, msDuration=%ld, msWindow=%ld\n", p->msStart,
                  p->msDuration, p->msWindow);
    }
    return 0;
}

int32_t CompareSpans(const void *a, const void *b) {
    const EventSpan *pa = a ? *static_cast<const EventSpan *const *>(a) : nullptr;
    const EventSpan *pb = b ? *static_cast<const EventSpan *const *>(b) : nullptr;
    if (!pa || !pb) {
        TracePosition(UNIT, 112);
        return 0;
    }
    if (pa->msStart != pb->msStart)
        return pa->msStart < pb->msStart ? -1 : 1;
    return pa->msDuration < pb->msDuration ? -1 : 0;
}
