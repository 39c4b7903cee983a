#include "sndkit/rundetectors.h"

#include <algorithm>
#include <cstdlib>
#include <cwchar>

#include "sndkit/args.h"
#include "sndkit/detect_internal.h"
#include "sndkit/eventlist.h"
#include "sndkit/levels.h"
#include "sndkit/runoptions.h"
#include "sndkit/strex.h"

namespace {

bool RoomForDetector(Run *r) {
    if (r->nDetectors < MAX_DETECTORS)
        return true;
    RunFail(r, 30);
    return false;
}

void AddDetector(Run *r, uint32_t dwType, uint32_t lParam, int32_t msDuration, int32_t msWindow,
                 int32_t dwFlags, bool bAuto = false) {
    HDETECT h = DetectInit(DETECT_VERSION, VmModuleHandle(), r->pwfxAnalysis, dwType, lParam,
                           static_cast<uint32_t>(msDuration), static_cast<uint32_t>(msWindow),
                           OnDetectEvent, reinterpret_cast<uintptr_t>(r->hEvents),
                           static_cast<uint32_t>(dwFlags));
    if (!h) {
        RunFail(r, 31);
        return;
    }
    r->abAuto[r->nDetectors] = bAuto;
    // Air shorter than this after a closing key can never be reported as silence.
    if (dwType == DETECT_SILENCE) {
        const int32_t ms = int32_t(std::min<uint32_t>(h->msDuration, INT32_MAX));
        r->msShortestSilence = r->msShortestSilence > 0 ? std::min(r->msShortestSilence, ms) : ms;
    }
    r->ahDetect[r->nDetectors++] = h;
}

void CreateSilenceDetectors(Run *r) {
    wchar_t szValue[ARG_VALUE_CHARS];
    for (int32_t i = GetArgOption(1, r->argc, r->argv, L"silence", szValue, ARG_VALUE_CHARS);
         i >= 0; i = GetArgOption(i + 1, r->argc, r->argv, L"silence", szValue, ARG_VALUE_CHARS)) {
        wchar_t *cursor = szValue;
        const wchar_t *level = NextToken(&cursor, L",");
        if (!level || !level[0])
            level = L"-40dB";
        int32_t msDuration, msWindow, dwFlags;
        // The level of "auto" is set from the whole audio before the first block.
        const bool bAuto = wcscasecmp(level, L"auto") == 0;
        if (!(bAuto || IsLevelText(level)) || !IntField(&cursor, -1, &msDuration) ||
            !IntField(&cursor, -1, &msWindow) || !IntField(&cursor, 0, &dwFlags)) {
            RunFail(r, 32);
            continue;
        }
        if (!RoomForDetector(r))
            continue;
        int32_t threshold = bAuto ? 0 : abs(LinearToPcm(ParseLevel(level)));
        AddDetector(r, DETECT_SILENCE, static_cast<uint32_t>(threshold), msDuration, msWindow,
                    dwFlags, bAuto);
    }
}

void CreateToneDetectors(Run *r) {
    wchar_t szValue[ARG_VALUE_CHARS];
    for (int32_t i = GetArgOption(1, r->argc, r->argv, L"tone", szValue, ARG_VALUE_CHARS); i >= 0;
         i = GetArgOption(i + 1, r->argc, r->argv, L"tone", szValue, ARG_VALUE_CHARS)) {
        wchar_t *cursor = szValue;
        int32_t nFrequency, msDuration, msWindow, dwFlags;
        if (!IntField(&cursor, -1, &nFrequency) || !IntField(&cursor, -1, &msDuration) ||
            !IntField(&cursor, -1, &msWindow) || !IntField(&cursor, 0, &dwFlags)) {
            RunFail(r, 33);
            continue;
        }
        if (!RoomForDetector(r))
            continue;
        AddDetector(r, DETECT_TONE, static_cast<uint32_t>(nFrequency), msDuration, msWindow,
                    dwFlags);
    }
}

// -dtmf and -baudot count once: the first option of the name.
void CreateKeyDetector(Run *r, const wchar_t *pszName, uint32_t dwType) {
    wchar_t szValue[ARG_VALUE_CHARS];
    if (GetArgOption(1, r->argc, r->argv, pszName, szValue, ARG_VALUE_CHARS) < 0)
        return;
    wchar_t *cursor = szValue;
    // The characters are accepted and handed on; the detectors do not use them.
    wchar_t *pszChars = NextTokenString(&cursor, L",", nullptr, 0);
    int32_t msDuration, msWindow, dwFlags;
    if (!IntField(&cursor, -1, &msDuration) || !IntField(&cursor, -1, &msWindow) ||
        !IntField(&cursor, 0, &dwFlags)) {
        RunFail(r, 34);
    } else if (RoomForDetector(r)) {
        AddDetector(r, dwType, 0, msDuration, msWindow, dwFlags);
    }
    StrRelease(pszChars);
}

} // namespace

void CreateDetectors(Run *r) {
    CreateSilenceDetectors(r);
    CreateToneDetectors(r);
    CreateKeyDetector(r, L"dtmf", DETECT_DTMF);
    CreateKeyDetector(r, L"baudot", DETECT_BAUDOT);
}
