// Detector throughput on 1000 ms blocks, the way the command line feeds them.
#include <benchmark/benchmark.h>

#include "common/siggen.h"
#include "VmLib/vmapi.h"
#include "sndkit/detect_silence.h"

using namespace siggen;

namespace {

int32_t CountEvent(uintptr_t dwUser, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) {
    ++*reinterpret_cast<int64_t *>(dwUser);
    return 0;
}

// The audio in blocks of cbBlock bytes, as the program hands them over.
void FeedBlocks(benchmark::State &state, HDETECT h, const std::vector<uint8_t> &pcm,
                int32_t cbBlock) {
    for (size_t off = 0; off < pcm.size(); off += size_t(cbBlock)) {
        const int32_t cb = int32_t(std::min(pcm.size() - off, size_t(cbBlock)));
        if (DetectProcessBlock(h, pcm.data() + off, cb, 0) != 0)
            state.SkipWithError("DetectProcessBlock failed");
    }
}

void RunBlocks(benchmark::State &state, uint32_t dwType, const Samples &signal, unsigned rate,
               uint32_t dwFlags = 0) {
    const WAVEFORMATEX wfx = PcmFormat(rate);
    const std::vector<uint8_t> pcm = ToPcm16(signal);
    const int32_t cbBlock = int32_t(wfx.nAvgBytesPerSec); // 1000 ms
    int64_t nEvents = 0;
    HDETECT h =
        DetectInit(DETECT_VERSION, VmModuleHandle(), &wfx, dwType, DETECT_DEFAULT, DETECT_DEFAULT,
                   DETECT_DEFAULT, &CountEvent, reinterpret_cast<uintptr_t>(&nEvents), dwFlags);
    if (h == nullptr) {
        state.SkipWithError("DetectInit failed");
        return;
    }
    for (auto _ : state)
        FeedBlocks(state, h, pcm, cbBlock);
    DetectProcessBlock(h, nullptr, 0, 0);
    DetectTerm(h);
    benchmark::DoNotOptimize(nEvents);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(pcm.size()));
}

// Speech-like noise with pauses: 16-bit mono at 8 kHz, 20 ms windows.
void BM_DetectSilence(benchmark::State &state) {
    Samples s;
    for (int i = 0; i < 10; ++i)
        Append(Append(s, Noise(3000, 700, 8000, uint32_t(i + 1))), Silence(300, 8000));
    RunBlocks(state, DETECT_SILENCE, s, 8000);
}
BENCHMARK(BM_DetectSilence);

// An hour of speech-like audio over white noise at -50 dBFS, 8 kHz, made once.
const std::vector<uint8_t> &HourOfSpeech() {
    static const std::vector<uint8_t> pcm = [] {
        const Samples minute = Mix(SpeechLike(60000, 8000), Noise(DbToAmplitude(-50), 60000, 8000));
        Samples s;
        for (int i = 0; i < 60; ++i)
            Append(s, minute);
        return ToPcm16(s);
    }();
    return pcm;
}

// The analysis of the hour at a fixed level or, with auto, after the first
// pass that sets the level: their ratio is the cost of the automatic level.
void RunHour(benchmark::State &state, bool bAuto) {
    const WAVEFORMATEX wfx = PcmFormat(8000);
    const std::vector<uint8_t> &pcm = HourOfSpeech();
    const int32_t cbBlock = int32_t(wfx.nAvgBytesPerSec);
    int64_t nEvents = 0;
    for (auto _ : state) {
        HDETECT h = DetectInit(DETECT_VERSION, VmModuleHandle(), &wfx, DETECT_SILENCE, 184, 300, 20,
                               &CountEvent, reinterpret_cast<uintptr_t>(&nEvents), 0);
        if (h == nullptr || (bAuto && DetectSilenceAuto(h, pcm.data(), int32_t(pcm.size())))) {
            state.SkipWithError("DetectInit or DetectSilenceAuto failed");
            break;
        }
        FeedBlocks(state, h, pcm, cbBlock);
        DetectProcessBlock(h, nullptr, 0, 0);
        DetectTerm(h);
    }
    benchmark::DoNotOptimize(nEvents);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(pcm.size()));
}

void BM_DetectSilenceHourFixed(benchmark::State &state) {
    RunHour(state, false);
}
BENCHMARK(BM_DetectSilenceHourFixed)->Unit(benchmark::kMillisecond);

void BM_DetectSilenceHourAuto(benchmark::State &state) {
    RunHour(state, true);
}
BENCHMARK(BM_DetectSilenceHourAuto)->Unit(benchmark::kMillisecond);

void BM_DetectDtmf(benchmark::State &state) {
    RunBlocks(state, DETECT_DTMF, Dtmf("123A456B789C*0#D", 100, 100, 8000, 8000), 8000);
}
BENCHMARK(BM_DetectDtmf);

void BM_DetectBaudot(benchmark::State &state) {
    RunBlocks(state, DETECT_BAUDOT, Baudot("THE QUICK BROWN FOX 0123456789", 8000), 8000);
}
BENCHMARK(BM_DetectBaudot);

void BM_DetectDtmfSensitive(benchmark::State &state) {
    RunBlocks(state, DETECT_DTMF, Dtmf("123A456B789C*0#D", 100, 100, 8000, 8000), 8000,
              DETECT_DTMF_SENSITIVE);
}
BENCHMARK(BM_DetectDtmfSensitive);

// Speech-like audio is the sensitive detector's worst case: many windows
// pass the first checks and are probed further.
void BM_DetectDtmfSensitiveSpeech(benchmark::State &state) {
    RunBlocks(state, DETECT_DTMF, SpeechLike(10000, 8000), 8000, DETECT_DTMF_SENSITIVE);
}
BENCHMARK(BM_DetectDtmfSensitiveSpeech);

void BM_DetectBaudotRobust(benchmark::State &state) {
    RunBlocks(state, DETECT_BAUDOT, Baudot("THE QUICK BROWN FOX 0123456789", 8000), 8000,
              DETECT_BAUDOT_ROBUST);
}
BENCHMARK(BM_DetectBaudotRobust);

} // namespace
