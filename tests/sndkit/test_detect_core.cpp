// What every detector shares: arguments, framing of windows over blocks,
// the window statistics, and the silence detector built on them.
#include <gtest/gtest.h>

#include "common/siggen.h"
#include "sndkit/detect_harness.h"
#include "sndkit/detect_internal.h"
#include "sndkit/wavtime.h"

using namespace siggen;

namespace {

const WAVEFORMATEX k8k = PcmFormat(8000);
constexpr uint32_t kDefaultThreshold = 0xFFFFFFFFu; // reported as -1

Samples Loud(double ms) {
    return Sine(440, 1000, ms, 8000);
}

} // namespace

TEST(WavFormat, ConversionRoundsToWholeBlocks) {
    const WAVEFORMATEX w11 = PcmFormat(11025);
    EXPECT_EQ(WavFormatMsToBytes(&w11, 20, +1), 442); // 441 rounded up to whole samples
    EXPECT_EQ(WavFormatMsToBytes(&w11, 20, -1), 440);
    EXPECT_EQ(WavFormatMsToBytes(&w11, 20, 0), 441);
    EXPECT_EQ(WavFormatBytesToMs(&w11, 440), 19u);
    WAVEFORMATEX none = k8k;
    none.nAvgBytesPerSec = 0;
    EXPECT_EQ(WavFormatMsToBytes(&none, 20, +1), 0);
    EXPECT_EQ(WavFormatBytesToMs(nullptr, 20), 0u);
    // Counts beyond int32_t must not wrap into small positive lengths.
    EXPECT_EQ(WavFormatMsToBytes(&k8k, 0xFFFFFFF0u, +1), -1);
}

TEST(DetectInit, RefusesBadArgumentsWithAnErrorPosition) {
    WAVEFORMATEX notPcm = k8k, noRate = k8k;
    notPcm.wFormatTag = WAVE_FORMAT_MULAW;
    noRate.nAvgBytesPerSec = 0;
    const VMHINSTANCE hInst = VmModuleHandle();
    struct Case {
        uint32_t ver;
        VMHINSTANCE h;
        const WAVEFORMATEX *f;
        uint32_t type, msWindow;
    } cases[] = {
        {0x101, hInst, &k8k, DETECT_SILENCE, DETECT_DEFAULT},
        {DETECT_VERSION, nullptr, &k8k, DETECT_SILENCE, DETECT_DEFAULT},
        {DETECT_VERSION, hInst, nullptr, DETECT_SILENCE, DETECT_DEFAULT},
        {DETECT_VERSION, hInst, &notPcm, DETECT_SILENCE, DETECT_DEFAULT},
        {DETECT_VERSION, hInst, &k8k, 3, DETECT_DEFAULT},
        {DETECT_VERSION, hInst, &k8k, 0, DETECT_DEFAULT},
        {DETECT_VERSION, hInst, &k8k, DETECT_TONE, 0},
        {DETECT_VERSION, hInst, &noRate, DETECT_DTMF, DETECT_DEFAULT},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        const Case &c = cases[i];
        TraceCapture trace(3);
        EXPECT_EQ(DetectInit(c.ver, c.h, c.f, c.type, 0, DETECT_DEFAULT, c.msWindow, nullptr, 0, 0),
                  nullptr)
            << i;
        EXPECT_EQ(trace.Positions(L"detect"), 1u) << i;
    }
    // A duration of 0 stays allowed.
    HDETECT h =
        DetectInit(DETECT_VERSION, hInst, &k8k, DETECT_SILENCE, 0xFFFF, 0, 20, nullptr, 0, 0);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(DetectTerm(h), 0);
    TraceCapture trace(3);
    EXPECT_EQ(DetectTerm(h), -1); // no longer live
    EXPECT_EQ(DetectProcessBlock(h, nullptr, 0, 0), -1);
    int local = 0;
    EXPECT_EQ(DetectProcessBlock(reinterpret_cast<HDETECT>(&local), nullptr, 0, 0), -1);
    EXPECT_EQ(trace.Count(L"*** TracePosition"), 3u);
}

TEST(DetectFraming, AWindowWaitsForItsBytesAndOnlyTheEndClosesItShort) {
    // 500 ms windows over 20 ms blocks: nothing is analysed before a whole
    // window has arrived, and the end of the data closes the last 100 ms.
    const DetectRun run = RunDetector(k8k, DETECT_SILENCE, DETECT_DEFAULT,
                                      ToPcm16(Silence(1100, 8000)), 320, DETECT_DEFAULT, 500);
    EXPECT_EQ(run.nBeforeEnd, 0u);
    EXPECT_EQ(run.events, (std::vector<DetectEvent>{{DETECT_SILENCE, 0, 1100, 500, 0xFFFFFFFFu}}));
    // An empty block is no error; a negative size is.
    HDETECT h = DetectInit(DETECT_VERSION, VmModuleHandle(), &k8k, DETECT_SILENCE, 0xFFFF,
                           DETECT_DEFAULT, DETECT_DEFAULT, nullptr, 0, 0);
    ASSERT_NE(h, nullptr);
    TraceCapture trace(3);
    const uint8_t block[4] = {};
    EXPECT_EQ(DetectProcessBlock(h, block, 0, 0), 0);
    EXPECT_EQ(DetectProcessBlock(h, block, -4, 0), -1);
    EXPECT_EQ(trace.Positions(L"detect"), 1u);
    EXPECT_EQ(DetectTerm(h), 0);
}

// What a detector reports must not depend on how its caller cuts the audio.
TEST(DetectFraming, EventsDoNotDependOnTheBlockSize) {
    for (unsigned rate : {8000u, 11025u}) {
        const WAVEFORMATEX wfx = PcmFormat(rate);
        // Something for every kind: silences, a 440 Hz tone, keys and TTY text.
        const std::vector<uint8_t> pcm =
            ToPcm16(Concat({Silence(300, rate), Sine(440, 8000, 400, rate), Silence(250, rate),
                            Dtmf("159#", 60, 60, DbToAmplitude(-12), rate), Silence(200, rate),
                            Baudot("RYRY 12", rate), Silence(130, rate)}));
        const std::pair<uint32_t, uint32_t> kinds[] = {
            {DETECT_SILENCE, 0}, {DETECT_TONE, 0},
            {DETECT_DTMF, 0},    {DETECT_DTMF, DETECT_DTMF_SENSITIVE},
            {DETECT_BAUDOT, 0},  {DETECT_BAUDOT, DETECT_BAUDOT_ROBUST}};
        for (auto [dwType, dwFlags] : kinds) {
            const DetectRun whole = RunDetector(wfx, dwType, DETECT_DEFAULT, pcm, 0, DETECT_DEFAULT,
                                                DETECT_DEFAULT, dwFlags);
            ASSERT_EQ(whole.nResult, 0);
            EXPECT_FALSE(whole.events.empty()) << dwType;
            // Odd sizes split samples and windows anywhere.
            for (int32_t cbBlock :
                 {1, 3, WavFormatMsToBytes(&wfx, 7, +1), WavFormatMsToBytes(&wfx, 50, +1), 333,
                  WavFormatMsToBytes(&wfx, 1000, +1), 4093}) {
                const DetectRun run = RunDetector(wfx, dwType, DETECT_DEFAULT, pcm, cbBlock,
                                                  DETECT_DEFAULT, DETECT_DEFAULT, dwFlags);
                EXPECT_EQ(run.nResult, 0);
                EXPECT_EQ(run.events, whole.events) << rate << " Hz, kind " << dwType << ", flags "
                                                    << dwFlags << ", blocks of " << cbBlock;
            }
        }
    }
}

TEST(DetectSilence, RunsBecomeEventsWhenTheyEnd) {
    // Loud windows 0-2, silent 3-12, loud 13: reported while window 13 is analysed.
    DetectRun run = RunDetector(k8k, DETECT_SILENCE, 0xFFFF,
                                ToPcm16(Concat({Loud(60), Silence(200, 8000), Loud(20)})));
    EXPECT_EQ(run.nBeforeEnd, 1u);
    EXPECT_EQ(run.events,
              (std::vector<DetectEvent>{{DETECT_SILENCE, 60, 200, 20, kDefaultThreshold}}));
    // One window short of the minimum is dropped without delaying the next run;
    // a run lasting to the end is reported by the end-of-data call.
    auto pcm = ToPcm16(Concat({Loud(20), Silence(180, 8000), Loud(20), Silence(200, 8000), Loud(40),
                               Silence(300, 8000)}));
    run = RunDetector(k8k, DETECT_SILENCE, 400, pcm, 16000);
    EXPECT_EQ(run.nResult, 0);
    EXPECT_EQ(run.nBeforeEnd, 1u);
    EXPECT_EQ(run.events, (std::vector<DetectEvent>{{DETECT_SILENCE, 220, 200, 20, 400},
                                                    {DETECT_SILENCE, 460, 300, 20, 400}}));
    // With no minimum, every loud window ends a run, empty or not.
    run = RunDetector(k8k, DETECT_SILENCE, 0xFFFF, ToPcm16(Concat({Loud(40), Silence(20, 8000)})),
                      0, 0);
    EXPECT_EQ(run.events,
              (std::vector<DetectEvent>{{DETECT_SILENCE, 0, 0, 20, kDefaultThreshold},
                                        {DETECT_SILENCE, 20, 0, 20, kDefaultThreshold},
                                        {DETECT_SILENCE, 40, 20, 20, kDefaultThreshold}}));
}

TEST(DetectSilence, LevelsOnRealSignals) {
    const WAVEFORMATEX w8bit = PcmFormat(8000, 8);
    // The mean test judges by the mean absolute value: sparse clicks (mean 30,
    // RMS 300) pass it but not the RMS test; a sine of amplitude 300 (mean 191,
    // RMS 212) passes the RMS test but not the mean test.
    Samples clicks(8000, 0);
    for (size_t i = 0; i < clicks.size(); i += 100)
        clicks[i] = 3000;
    const auto sine300 = ToPcm16(Sine(440, 300, 1000, 8000)), silence = ToPcm16(Silence(500, 8000));
    const struct {
        const WAVEFORMATEX &wfx;
        uint32_t nThreshold;
        std::vector<uint8_t> pcm;
        uint32_t dwFlags, msSilent;
    } cases[] = {
        // Digital silence in either sample size.
        {k8k, 0xFFFF, silence, 0, 500},
        {w8bit, 0xFFFF, std::vector<uint8_t>(4000, 128), 0, 500},
        // Noise at RMS 150 sits below the -40 dB default, noise at RMS 300 above it.
        {k8k, 0xFFFF, ToPcm16(Noise(150, 1000, 8000)), 0, 1000},
        {k8k, 0xFFFF, ToPcm16(Noise(300, 1000, 8000)), 0, 0},
        // -45 dB is the amplitude 184: a window is silent up to an RMS of 130.
        {k8k, 184, ToPcm16(Noise(110, 1000, 8000)), 0, 1000},
        {k8k, 184, ToPcm16(Noise(150, 1000, 8000)), 0, 0},
        {k8k, 0xFFFF, ToPcm16(clicks), DETECT_SILENCE_MEAN, 1000},
        {k8k, 0xFFFF, ToPcm16(clicks), 0, 0},
        {k8k, 0xFFFF, sine300, DETECT_SILENCE_MEAN, 0},
        {k8k, 0xFFFF, sine300, 0, 1000},
        // Negative thresholds other than -1 never find silence.
        {k8k, 0xFFFE, silence, 0, 0},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        const auto &c = cases[i];
        uint32_t ms = 0;
        const DetectRun run = RunDetector(c.wfx, DETECT_SILENCE, c.nThreshold, c.pcm, 0,
                                          DETECT_DEFAULT, DETECT_DEFAULT, c.dwFlags);
        for (const DetectEvent &e : run.events)
            ms += e.msDuration;
        EXPECT_EQ(ms, c.msSilent) << i;
    }
}

TEST(DetectStats, ExactSumsAndCrossings) {
    DetectInstance inst = {};
    inst.wfx = k8k;
    inst.pwfx = &inst.wfx;
    const auto pcm = ToPcm16({-32768, 32767, -5, 7, 0, -1, 1200, -32768, 3});
    DetectStats st;
    DetectComputeStats(&inst, pcm.data(), int32_t(pcm.size()), &st);
    // Sums of the absolute values (99519) and of the squares, worked by hand.
    EXPECT_DOUBLE_EQ(st.dMean, 99519 / 9.0);
    EXPECT_DOUBLE_EQ(st.dRootMeanSquare, sqrt(3222600021 / 9.0));
    EXPECT_EQ(st.lCrossingsPerSecond, 7000); // 7 sign changes over 8 sample steps, 1 ms

    // A long window of full-scale samples overflows any 32-bit sum, and
    // rounding must not push the spread below 0.
    const auto full = ToPcm16(Samples(200001, -32768));
    DetectComputeStats(&inst, full.data(), int32_t(full.size()), &st);
    EXPECT_EQ(st.dMean, 32768);
    EXPECT_EQ(st.dRootMeanSquare, 32768);
    EXPECT_EQ(st.dSampleVariance, 0);

    // 8-bit samples count as (byte - 128) * 256.
    DetectInstance inst8 = inst;
    inst8.wfx = PcmFormat(8000, 8);
    const uint8_t bytes8[8] = {0, 255, 128, 127, 129, 128, 128, 128};
    DetectComputeStats(&inst8, bytes8, 8, &st);
    EXPECT_DOUBLE_EQ(st.dMean, (128 + 127 + 1 + 1) * 256 / 8.0);
    EXPECT_EQ(st.lCrossingsPerSecond, -1); // 8 bytes are under 1 ms at 8000 B/s

    // Zeros: the ratio line is 0, not a division by zero.
    TraceCapture trace(6);
    const std::vector<uint8_t> zeros(320, 0);
    DetectComputeStats(&inst, zeros.data(), 320, &st);
    EXPECT_TRUE(trace.Has(L"\t1000 * dMean / dRootMeanSquare=0\n"));
    EXPECT_EQ(st.dRootMeanSquare, 0);
    EXPECT_EQ(st.lCrossingsPerSecond, 0);

    // 55 samples at 11025 Hz are 4.99 ms: whole milliseconds would count it
    // as 4 and read a 1400 Hz mark as 3500 crossings per second. Crossings
    // lie within 54 sample steps; at 44100 Hz 13 of them in a 221-sample
    // window are still a mark.
    const WAVEFORMATEX w11 = PcmFormat(11025), w44 = PcmFormat(44100);
    EXPECT_EQ(DetectCrossingsPerSecond(&w11, 14, 110), 2858);
    EXPECT_EQ(DetectCrossingsPerSecond(&w44, 13, 442), 2605);
    EXPECT_EQ(DetectCrossingsPerSecond(&w11, 3, 20), -1);
    EXPECT_EQ(trace.Positions(L"detect"), 1u);
}
