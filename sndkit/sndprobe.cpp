// The run of one file: options, detectors, the whole-file read, the block
// loop, the flush, the strip and one clean-up for everything acquired.
#include "sndprobe.h"

#include <csetjmp>
#include <csignal>
#include <cstdio>
#include <cwchar>

#include "sndkit/args.h"
#include "sndkit/detect_silence.h"
#include "sndkit/eventlist.h"
#include "sndkit/run.h"
#include "sndkit/rundetectors.h"
#include "sndkit/runoptions.h"
#include "sndkit/strex.h"
#include "sndkit/strip.h"
#include "sndkit/usage.h"
#include "sndkit/wavtime.h"

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

// Another program that shortens a mapped source while it is read raises
// SIGBUS; the run then fails instead of dying.
sigjmp_buf g_busJump;

void OnBusError(int) {
    siglongjmp(g_busJump, 1);
}

bool OpenSource(Run *r, const wchar_t *pszSource) {
    r->hAcmArg = AcmArgInit(ACMARG_VERSION, VmModuleHandle(), r->argc, r->argv, 0);
    if (!r->hAcmArg) {
        RunFail(r, 40);
        return false;
    }
    r->hSource = WavOpen(WAV_VERSION, VmModuleHandle(), pszSource, nullptr, 0, 0, WAV_MODE_READ);
    if (!r->hSource) {
        RunFail(r, 41);
        Trace(nullptr, TRACE_RESULT, L"sndprobe: unable to open file: %s\n", pszSource);
        return false;
    }
    r->pwfxStored = WavGetFormat(r->hSource, WAV_FORMAT_STORED);
    if (!r->pwfxStored) {
        RunFail(r, 42);
        return false;
    }
    r->pwfxAnalysis = WavFormatPcm(r->pwfxStored->nSamplesPerSec, 16, 1, 0);
    if (!r->pwfxAnalysis) {
        RunFail(r, 43);
        return false;
    }
    if (WavSetFormat(r->hSource, r->pwfxAnalysis, WAV_FORMAT_PLAY) != 0) {
        RunFail(r, 44);
        return false;
    }
    if (WavAcmConvertInit(r->hSource, 1, 0) != 0) {
        RunFail(r, 45);
        return false;
    }
    r->converting = true;
    r->hEvents = CreateSpanList();
    if (!r->hEvents) {
        RunFail(r, 46);
        return false;
    }
    return true;
}

// Sets the automatic silence levels from the whole audio, then hands every
// block to every detector in creation order; 0, or -1 at the first detector
// that refuses one.
int32_t FeedBlocks(Run *r, int32_t cbBlock) {
    for (int32_t i = 0; i < r->nDetectors; ++i) {
        if (r->abAuto[i] && DetectSilenceAuto(r->ahDetect[i], r->whole.pData, r->whole.cbValid)) {
            TracePosition(RUN_UNIT, 310);
            return -1;
        }
    }
    const uint8_t *pBlock = nullptr;
    for (int32_t n; (n = NextBlock(&r->whole, &pBlock, cbBlock)) != 0;) {
        if (n < 0) {
            TracePosition(RUN_UNIT, 53);
            return -1;
        }
        for (int32_t i = 0; i < r->nDetectors; ++i) {
            if (DetectProcessBlock(r->ahDetect[i], pBlock, n, 0)) {
                TracePosition(RUN_UNIT, 54);
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
        TracePosition(RUN_UNIT, 58);
    sigaction(SIGBUS, &saOld, nullptr);
    return result;
}

void Analyse(Run *r, const wchar_t *pszSource) {
    int32_t cbBlock = WavFormatMsToBytes(r->pwfxAnalysis, static_cast<uint32_t>(r->msBlock), +1);
    if (cbBlock <= 0) {
        RunFail(r, 50);
        return;
    }
    if (LoadWholeFile(&r->whole, r->hSource, r->pwfxStored)) {
        RunFail(r, 51);
        if (r->whole.empty)
            Trace(nullptr, TRACE_RESULT,
                  L"sndprobe: too short to analyse, under 1 ms of audio: %s\n", pszSource);
        return;
    }
    if (r->whole.mapped ? FeedMappedBlocks(r, cbBlock) : FeedBlocks(r, cbBlock)) {
        RunFail(r, 52);
        return;
    }
    for (int32_t i = 0; i < r->nDetectors; ++i) {
        if (DetectProcessBlock(r->ahDetect[i], nullptr, 0, 0)) {
            RunFail(r, 55);
            return;
        }
    }
    // The decoded audio is no longer needed; the strip reads the raw bytes.
    if (ReleaseWholeFile(&r->whole))
        RunFail(r, 56);
    if (r->ok && r->strip &&
        StripFile(r->hEvents, r->hSource, r->pszDest, r->pwfxStored, r->msEdge, r->dwStripFlags,
                  r->msShortestSilence))
        RunFail(r, 57);
}

void CleanUp(Run *r) {
    for (int32_t i = 0; i < r->nDetectors; ++i) {
        if (DetectTerm(r->ahDetect[i]))
            RunFail(r, 60);
    }
    r->nDetectors = 0;
    if (r->pwfxStored && WavFormatFree(r->pwfxStored))
        RunFail(r, 62);
    if (r->pwfxAnalysis && WavFormatFree(r->pwfxAnalysis))
        RunFail(r, 63);
    if (ReleaseWholeFile(&r->whole))
        RunFail(r, 64);
    if (r->converting && WavAcmConvertTerm(r->hSource, 0))
        RunFail(r, 65);
    if (r->hSource && WavClose(r->hSource))
        RunFail(r, 66);
    if (DestroySpanList(r->hEvents))
        RunFail(r, 67);
    if (r->hAcmArg && AcmArgTerm(r->hAcmArg))
        RunFail(r, 68);
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
        RunFail(r, 23);
    ReadStripOption(r);
    if (GetArgOption(1, r->argc, r->argv, L"leveltable", nullptr, 0) >= 0) {
        r->pszLevelTable = GetArgString(1, r->argc, r->argv, L"leveltable", L"dB", 0);
        if (PrintLevelTable(r->pszLevelTable))
            RunFail(r, 24);
        return;
    }
    if (r->argc <= 1) {
        PrintUsage();
        return;
    }
    wchar_t szSource[ARG_VALUE_CHARS];
    int32_t iSource = GetArgOption(1, r->argc, r->argv, nullptr, szSource, ARG_VALUE_CHARS);
    if (iSource < 0) {
        RunFail(r, 25);
        PrintUsage();
        return;
    }
    if (wcslen(r->argv[iSource]) >= ARG_VALUE_CHARS) {
        // Never open a file under a shortened name.
        RunFail(r, 26);
        Trace(nullptr, TRACE_RESULT, L"sndprobe: unable to open file: %s\n", r->argv[iSource]);
        return;
    }
    if (!OpenSource(r, szSource))
        return;
    CreateDetectors(r);
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
