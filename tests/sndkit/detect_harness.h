// Runs a detector over generated PCM the way the command line does (blocks,
// then the end-of-data call) and collects its events.
#ifndef TESTS_SNDKIT_DETECT_HARNESS_H
#define TESTS_SNDKIT_DETECT_HARNESS_H

#include <algorithm>
#include <string>
#include <vector>

#include "VmLib/trace_capture.h"
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

// The characters of the events (keys or text), TTY shifts left out.
inline std::string Chars(const DetectRun &run) {
    std::string s;
    for (const DetectEvent &e : run.events)
        if (e.dwType != DETECT_BAUDOT ||
            (e.lParam != DETECT_BAUDOT_FIGURES && e.lParam != DETECT_BAUDOT_LETTERS))
            s += char(e.lParam);
    return s;
}

#endif
