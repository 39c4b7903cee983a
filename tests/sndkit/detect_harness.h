// Runs a detector over generated PCM the way the command line does (blocks,
// then the end-of-data call) and collects its events; captures trace lines.
#ifndef TESTS_SNDKIT_DETECT_HARNESS_H
#define TESTS_SNDKIT_DETECT_HARNESS_H

#include <algorithm>
#include <string>
#include <vector>

#include "VmLib/trace.h"
#include "VmLib/vmapi.h"
#include "sndprobe.h"

struct DetectEvent {
    uint32_t dwType, msStart, msDuration, msWindow, lParam;
    bool operator==(const DetectEvent &) const = default;
};

struct EventLog {
    std::vector<DetectEvent> events;
    static int32_t Proc(uintptr_t dwUser, uint32_t dwType, uint32_t msStart, uint32_t msDuration,
                        uint32_t msWindow, uint32_t lParam) {
        reinterpret_cast<EventLog *>(dwUser)->events.push_back(
            {dwType, msStart, msDuration, msWindow, lParam});
        return 0;
    }
};

struct DetectRun {
    int32_t nResult = 0; // first non-zero DetectProcessBlock result
    std::vector<DetectEvent> events;
    size_t nBeforeEnd = 0; // events reported before the end-of-data call
};

// Feeds pcm in blocks of cbBlock bytes (0: one block), then ends the data.
inline DetectRun RunDetector(const WAVEFORMATEX &wfx, uint32_t dwType, uint32_t lParam,
                             const std::vector<uint8_t> &pcm, int32_t cbBlock = 0,
                             uint32_t msDuration = DETECT_DEFAULT,
                             uint32_t msWindow = DETECT_DEFAULT, uint32_t dwFlags = 0) {
    DetectRun run;
    EventLog log;
    HDETECT h = DetectInit(DETECT_VERSION, VmModuleHandle(), &wfx, dwType, lParam, msDuration,
                           msWindow, &EventLog::Proc, reinterpret_cast<uintptr_t>(&log), dwFlags);
    if (h == nullptr)
        return {-2, {}};
    const int32_t cbTotal = int32_t(pcm.size());
    const int32_t cbStep = cbBlock > 0 ? cbBlock : std::max(cbTotal, 1);
    for (int32_t off = 0; off < cbTotal && run.nResult == 0; off += cbStep)
        run.nResult = DetectProcessBlock(h, pcm.data() + off, std::min(cbStep, cbTotal - off), 0);
    run.nBeforeEnd = log.events.size();
    if (run.nResult == 0)
        run.nResult = DetectProcessBlock(h, nullptr, 0, 0);
    if (DetectTerm(h) != 0)
        run.nResult = -3;
    run.events = log.events;
    return run;
}

// Collects every trace line up to nLevel while alive.
struct TraceCapture {
    int32_t nLevel;
    std::wstring text;
    explicit TraceCapture(int32_t level) : nLevel(level) {
        TraceSetHooks(nullptr, this, &Filter, &Output);
    }
    ~TraceCapture() { TraceSetHooks(nullptr, nullptr, nullptr, nullptr); }
    bool Has(const std::wstring &s) const { return text.find(s) != std::wstring::npos; }
    size_t Count(const std::wstring &s) const {
        size_t n = 0;
        for (size_t p = text.find(s); p != std::wstring::npos; p = text.find(s, p + 1))
            ++n;
        return n;
    }
    static int32_t Filter(void *p, int32_t level, uintptr_t, uintptr_t) {
        return level >= 1 && level <= static_cast<TraceCapture *>(p)->nLevel;
    }
    static int32_t Output(void *p, uint32_t, const wchar_t *psz, uintptr_t, uintptr_t) {
        static_cast<TraceCapture *>(p)->text += psz;
        return 0;
    }
};

#endif
