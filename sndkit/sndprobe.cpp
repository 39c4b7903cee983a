// The run of one file: options, detectors, the whole-file read, the block
// loop, the flush, the strip and one clean-up for everything acquired.
#include "sndprobe.h"

#include <csetjmp>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "VmLib/trace.h"
#include "VmLib/vmlib.h"
#include "sndkit/acmarg.h"
#include "sndkit/args.h"
#include "sndkit/eventlist.h"
#include "sndkit/levels.h"
#include "sndkit/strex.h"
#include "sndkit/strip.h"
#include "sndkit/usage.h"
#include "sndkit/wavtime.h"
#include "vmwav/vmwav.h"

#define UNIT L"sndprobe"
#define MAX_DETECTORS 16

namespace {

// Every line goes to standard output as UTF-8 and to the debugger channel.
int32_t RunFilter(void *, int32_t nLevel, uintptr_t, uintptr_t) {
    return nLevel >= 1 && nLevel <= TraceGetLevel(nullptr);
}

int32_t RunOutput(void *, uint32_t, const wchar_t *pszText, uintptr_t, uintptr_t) {
    int32_t result = TraceWriteStdout(pszText);
    TraceWriteDebugger(pszText);
    return result;
}

// The complete audio in the analysis format, decoded in one request, or,
// when the source already holds it, a read-only mapping of the source.
struct WholeFile {
    const uint8_t *pData;
    int32_t cbValid;
    int32_t cbPosition;
    bool mapped; // pData belongs to the source's mapping
    bool empty;  // refused for holding less than a millisecond of audio
};

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

// Another program that shortens a mapped source while it is read raises
// SIGBUS; the run then fails instead of dying.
sigjmp_buf g_busJump;

void OnBusError(int) {
    siglongjmp(g_busJump, 1);
}

// The next list field as a whole number, nDefault when it is empty or
// missing; false when it is not a number.
bool IntField(wchar_t **ppszCursor, int32_t nDefault, int32_t *pn) {
    const wchar_t *field = NextToken(ppszCursor, L",");
    if (!field || !field[0]) {
        *pn = nDefault;
        return true;
    }
    if (!IsIntText(field))
        return false;
    *pn = StrToInt(field);
    return true;
}

// Value of an option as a whole number; false when it is there but not one.
bool IntOption(int32_t argc, wchar_t **argv, const wchar_t *pszName, int32_t nDefault,
               int32_t *pn) {
    wchar_t szValue[ARG_VALUE_CHARS] = {0};
    if (GetArgOption(1, argc, argv, pszName, szValue, ARG_VALUE_CHARS) >= 0 && szValue[0] &&
        !IsIntText(szValue))
        return false;
    *pn = GetArgInt(1, argc, argv, pszName, nDefault);
    return true;
}

// A value longer than the value buffers would be cut and then name another
// file or mean another number; such a line is refused as a whole.
bool ValuesFit(int32_t argc, wchar_t **argv) {
    bool fit = true;
    for (int32_t i = 1; i < argc; ++i) {
        const wchar_t *arg = argv[i];
        if (!IsArgOption(arg))
            continue;
        const wchar_t *value = wcschr(arg, L':');
        if (value && wcslen(value + 1) >= ARG_VALUE_CHARS) {
            TracePosition(UNIT, 10);
            fit = false;
        }
    }
    return fit;
}

struct Run {
    int32_t argc;
    wchar_t **argv;
    bool ok;
    int32_t msBlock;
    bool strip;
    wchar_t *pszStrip;
    wchar_t *pszDest;
    int32_t dwStripFlags;
    int32_t msEdge;
    wchar_t *pszLevelTable;
    HACMARG hAcmArg;
    HWAVFILE hSource;
    WAVEFORMATEX *pwfxStored;
    WAVEFORMATEX *pwfxAnalysis;
    bool converting;
    HVMARRAY hEvents;
    HDETECT ahDetect[MAX_DETECTORS];
    int32_t nDetectors;
    WholeFile whole;
};

void Fail(Run *r, uint32_t nPosition) {
    TracePosition(UNIT, nPosition);
    r->ok = false;
}

void ReadTraceOption(Run *r) {
    if (TraceGetLevel(nullptr) < 1)
        TraceSetLevel(nullptr, 1);
    int32_t level = TraceGetLevel(nullptr);
    if (GetArgBool(1, r->argc, r->argv, L"trace", 0)) {
        if (!IntOption(r->argc, r->argv, L"trace", 5, &level)) {
            Fail(r, 20);
            return;
        }
        // "+0" or " 0" reads as present; like "0" it must not silence the run.
        if (level == 0)
            level = TraceGetLevel(nullptr);
    }
    // Out of range is refused and the level stays; -1 re-reads the stored one.
    TraceSetLevel(nullptr, level);
}

void ReadStripOption(Run *r) {
    if (!GetArgBool(1, r->argc, r->argv, L"strip", 0))
        return;
    r->strip = true;
    r->pszStrip = GetArgString(1, r->argc, r->argv, L"strip", nullptr, 0);
    wchar_t *cursor = r->pszStrip;
    r->pszDest = NextTokenString(&cursor, L",", nullptr, 0);
    if (!IntField(&cursor, 0, &r->dwStripFlags) || !IntField(&cursor, -1, &r->msEdge))
        Fail(r, 21);
    if (!r->pszDest) {
        Fail(r, 22);
        Trace(nullptr, TRACE_RESULT, L"sndprobe: unable to create file: %s\n", L"");
    }
}

bool RoomForDetector(Run *r) {
    if (r->nDetectors < MAX_DETECTORS)
        return true;
    Fail(r, 30);
    return false;
}

void AddDetector(Run *r, uint32_t dwType, uint32_t lParam, int32_t msDuration, int32_t msWindow,
                 int32_t dwFlags) {
    HDETECT h = DetectInit(DETECT_VERSION, VmModuleHandle(), r->pwfxAnalysis, dwType, lParam,
                           static_cast<uint32_t>(msDuration), static_cast<uint32_t>(msWindow),
                           OnDetectEvent, reinterpret_cast<uintptr_t>(r->hEvents),
                           static_cast<uint32_t>(dwFlags));
    if (!h) {
        Fail(r, 31);
        return;
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
        if (!IsLevelText(level) || !IntField(&cursor, -1, &msDuration) ||
            !IntField(&cursor, -1, &msWindow) || !IntField(&cursor, 0, &dwFlags)) {
            Fail(r, 32);
            continue;
        }
        if (!RoomForDetector(r))
            continue;
        int32_t threshold = abs(LinearToPcm(ParseLevel(level)));
        AddDetector(r, DETECT_SILENCE, static_cast<uint32_t>(threshold), msDuration, msWindow,
                    dwFlags);
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
            Fail(r, 33);
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
        Fail(r, 34);
    } else if (RoomForDetector(r)) {
        AddDetector(r, dwType, 0, msDuration, msWindow, dwFlags);
    }
    StrRelease(pszChars);
}

bool OpenSource(Run *r, const wchar_t *pszSource) {
    r->hAcmArg = AcmArgInit(ACMARG_VERSION, VmModuleHandle(), r->argc, r->argv, 0);
    if (!r->hAcmArg) {
        Fail(r, 40);
        return false;
    }
    r->hSource = WavOpen(WAV_VERSION, VmModuleHandle(), pszSource, nullptr, 0, 0, WAV_MODE_READ);
    if (!r->hSource) {
        Fail(r, 41);
        Trace(nullptr, TRACE_RESULT, L"sndprobe: unable to open file: %s\n", pszSource);
        return false;
    }
    r->pwfxStored = WavGetFormat(r->hSource, WAV_FORMAT_STORED);
    if (!r->pwfxStored) {
        Fail(r, 42);
        return false;
    }
    r->pwfxAnalysis = WavFormatPcm(r->pwfxStored->nSamplesPerSec, 16, 1, 0);
    if (!r->pwfxAnalysis) {
        Fail(r, 43);
        return false;
    }
    if (WavSetFormat(r->hSource, r->pwfxAnalysis, WAV_FORMAT_PLAY) != 0) {
        Fail(r, 44);
        return false;
    }
    if (WavAcmConvertInit(r->hSource, 1, 0) != 0) {
        Fail(r, 45);
        return false;
    }
    r->converting = true;
    r->hEvents = CreateSpanList();
    if (!r->hEvents) {
        Fail(r, 46);
        return false;
    }
    return true;
}

// Hands every block to every detector in creation order; 0, or -1 at the
// first detector that refuses one.
int32_t FeedBlocks(Run *r, int32_t cbBlock) {
    const uint8_t *pBlock = nullptr;
    for (int32_t n; (n = NextBlock(&r->whole, &pBlock, cbBlock)) != 0;) {
        if (n < 0) {
            TracePosition(UNIT, 53);
            return -1;
        }
        for (int32_t i = 0; i < r->nDetectors; ++i) {
            if (DetectProcessBlock(r->ahDetect[i], pBlock, n, 0)) {
                TracePosition(UNIT, 54);
                return -1;
            }
        }
    }
    return 0;
}

int32_t FeedMappedBlocks(Run *r, int32_t cbBlock) {
    struct sigaction sa = {}, saOld;
    sa.sa_handler = OnBusError;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGBUS, &sa, &saOld);
    volatile int32_t result = -1;
    if (sigsetjmp(g_busJump, 1) == 0)
        result = FeedBlocks(r, cbBlock);
    else
        TracePosition(UNIT, 58);
    sigaction(SIGBUS, &saOld, nullptr);
    return result;
}

void Analyse(Run *r, const wchar_t *pszSource) {
    int32_t cbBlock = WavFormatMsToBytes(r->pwfxAnalysis, static_cast<uint32_t>(r->msBlock), +1);
    if (cbBlock <= 0) {
        Fail(r, 50);
        return;
    }
    if (LoadWholeFile(&r->whole, r->hSource, r->pwfxStored)) {
        Fail(r, 51);
        if (r->whole.empty)
            Trace(nullptr, TRACE_RESULT,
                  L"sndprobe: too short to analyse, under 1 ms of audio: %s\n", pszSource);
        return;
    }
    if (r->whole.mapped ? FeedMappedBlocks(r, cbBlock) : FeedBlocks(r, cbBlock)) {
        Fail(r, 52);
        return;
    }
    for (int32_t i = 0; i < r->nDetectors; ++i) {
        if (DetectProcessBlock(r->ahDetect[i], nullptr, 0, 0)) {
            Fail(r, 55);
            return;
        }
    }
    // The decoded audio is no longer needed; the strip reads the raw bytes.
    if (ReleaseWholeFile(&r->whole))
        Fail(r, 56);
    if (r->ok && r->strip &&
        StripFile(r->hEvents, r->hSource, r->pszDest, r->pwfxStored, r->msEdge, r->dwStripFlags))
        Fail(r, 57);
}

void CleanUp(Run *r) {
    for (int32_t i = 0; i < r->nDetectors; ++i) {
        if (DetectTerm(r->ahDetect[i]))
            Fail(r, 60);
    }
    r->nDetectors = 0;
    if (r->pwfxStored && WavFormatFree(r->pwfxStored))
        Fail(r, 62);
    if (r->pwfxAnalysis && WavFormatFree(r->pwfxAnalysis))
        Fail(r, 63);
    if (ReleaseWholeFile(&r->whole))
        Fail(r, 64);
    if (r->converting && WavAcmConvertTerm(r->hSource, 0))
        Fail(r, 65);
    if (r->hSource && WavClose(r->hSource))
        Fail(r, 66);
    if (DestroySpanList(r->hEvents))
        Fail(r, 67);
    if (r->hAcmArg && AcmArgTerm(r->hAcmArg))
        Fail(r, 68);
    Trace(nullptr, TRACE_RESULT, L"\n");
    StrRelease(r->pszStrip);
    StrRelease(r->pszDest);
    StrRelease(r->pszLevelTable);
}

void RunOnce(Run *r) {
    ReadTraceOption(r);
    if (!ValuesFit(r->argc, r->argv))
        r->ok = false;
    if (!IntOption(r->argc, r->argv, L"block", 1000, &r->msBlock))
        Fail(r, 23);
    ReadStripOption(r);
    if (GetArgOption(1, r->argc, r->argv, L"leveltable", nullptr, 0) >= 0) {
        r->pszLevelTable = GetArgString(1, r->argc, r->argv, L"leveltable", L"dB", 0);
        if (PrintLevelTable(r->pszLevelTable))
            Fail(r, 24);
        return;
    }
    if (r->argc <= 1) {
        PrintUsage();
        return;
    }
    wchar_t szSource[ARG_VALUE_CHARS];
    int32_t iSource = GetArgOption(1, r->argc, r->argv, nullptr, szSource, ARG_VALUE_CHARS);
    if (iSource < 0) {
        Fail(r, 25);
        PrintUsage();
        return;
    }
    if (wcslen(r->argv[iSource]) >= ARG_VALUE_CHARS) {
        // Never open a file under a shortened name.
        Fail(r, 26);
        Trace(nullptr, TRACE_RESULT, L"sndprobe: unable to open file: %s\n", r->argv[iSource]);
        return;
    }
    if (!OpenSource(r, szSource))
        return;
    CreateSilenceDetectors(r);
    CreateToneDetectors(r);
    CreateKeyDetector(r, L"dtmf", DETECT_DTMF);
    CreateKeyDetector(r, L"baudot", DETECT_BAUDOT);
    if (r->ok)
        Analyse(r, szSource);
}

} // namespace

int SndProbeMain(int argc, wchar_t **argv) {
    if (argc < 1 || !argv)
        argc = 0;
    TraceSetHooks(nullptr, nullptr, RunFilter, RunOutput);
    Run r{};
    r.argc = argc;
    r.argv = argv;
    r.ok = true;
    RunOnce(&r);
    CleanUp(&r);
    fflush(stdout);
    TraceSetHooks(nullptr, nullptr, nullptr, nullptr);
    return r.ok || argc <= 1 ? 0 : 1;
}
