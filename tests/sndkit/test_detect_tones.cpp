#include <gtest/gtest.h>

#include "common/siggen.h"
#include "sndkit/detect_harness.h"

using namespace siggen;

namespace {

std::string Keys(const DetectRun &run) {
    std::string s;
    for (const DetectEvent &e : run.events)
        s += char(e.lParam);
    return s;
}

const double kLevel = DbToAmplitude(-12); // per tone

} // namespace

TEST(DetectDtmf, AllSixteenKeysOnRealSignals) {
    const std::string keys = "123A456B789C*0#D";
    // Not 11025 Hz: there 770 Hz lies 0.43 of a bin off its bin in a 20 ms
    // window, and the leakage into the 697 Hz bin can exceed a third of it.
    for (unsigned rate : {8000u, 16000u, 22050u, 44100u}) {
        const Samples s = Concat({Silence(100, rate), Dtmf(keys, 100, 100, kLevel, rate)});
        const DetectRun run = RunDetector(PcmFormat(rate), DETECT_DTMF, 0, ToPcm16(s),
                                          int32_t(PcmFormat(rate).nAvgBytesPerSec));
        EXPECT_EQ(run.nResult, 0);
        EXPECT_EQ(Keys(run), keys) << rate;
        // Each key is reported once, near where it was pressed.
        for (size_t i = 0; i < run.events.size(); ++i) {
            EXPECT_NEAR(double(run.events[i].msStart), 100 + 200.0 * double(i), 20) << i;
            EXPECT_NEAR(double(run.events[i].msDuration), 100, 20) << i;
        }
    }
    // 8-bit data and noise under the tones change nothing.
    const Samples noisy = Mix(Dtmf("159#", 100, 100, kLevel, 8000), Noise(300, 800, 8000));
    EXPECT_EQ(Keys(RunDetector(PcmFormat(8000, 8), DETECT_DTMF, 0, ToPcm8(noisy))), "159#");
}

TEST(DetectDtmf, KeyRunsAndTheirLimits) {
    const WAVEFORMATEX wfx = PcmFormat(8000);
    // Key 5 for 100 ms in 20 ms windows: one event of 100 ms; 20 ms is too short.
    DetectRun run = RunDetector(
        wfx, DETECT_DTMF, 0,
        ToPcm16(Concat({Dtmf("5", 100, 100, kLevel, 8000), Dtmf("5", 20, 100, kLevel, 8000)})));
    EXPECT_EQ(run.events, (std::vector<DetectEvent>{{DETECT_DTMF, 0, 100, 20, '5'}}));
    // A key held to the end is reported by the end-of-data call; one held
    // through two presses without a gap is one key.
    run = RunDetector(wfx, DETECT_DTMF, 0, ToPcm16(Dtmf("77", 100, 0, kLevel, 8000)));
    EXPECT_EQ(run.events, (std::vector<DetectEvent>{{DETECT_DTMF, 0, 200, 20, '7'}}));
    // Two rows of equal strength are no key; nor is speech-like noise.
    const Samples twoRows = Tones({697, 770, 1209}, kLevel, 200, 8000);
    EXPECT_TRUE(RunDetector(wfx, DETECT_DTMF, 0, ToPcm16(twoRows)).events.empty());
    EXPECT_TRUE(RunDetector(wfx, DETECT_DTMF, 0, ToPcm16(Noise(3000, 1000, 8000))).events.empty());
    // With no minimum and no data there is nothing to report.
    run = RunDetector(wfx, DETECT_DTMF, 0, {}, 0, 0);
    EXPECT_EQ(run.nResult, 0);
    EXPECT_TRUE(run.events.empty());
    // A window without a whole sample cannot be measured: the block fails.
    const auto pcm = ToPcm16(Dtmf("1", 40, 0, kLevel, 8000));
    run = RunDetector(wfx, DETECT_DTMF, 0, std::vector<uint8_t>(pcm.begin(), pcm.begin() + 321));
    EXPECT_EQ(run.nResult, -1);
}

TEST(DetectTone, SingleToneRuns) {
    const WAVEFORMATEX wfx = PcmFormat(8000);
    const Samples s = Concat({Silence(300, 8000), Sine(440, 8000, 500, 8000), Silence(300, 8000),
                              Sine(1000, 8000, 500, 8000), Sine(440, 8000, 300, 8000)});
    // The default is 440 Hz in 100 ms windows with a 100 ms minimum.
    DetectRun run = RunDetector(wfx, DETECT_TONE, DETECT_DEFAULT, ToPcm16(s), 8000);
    EXPECT_EQ(run.nResult, 0);
    EXPECT_EQ(run.events, (std::vector<DetectEvent>{{DETECT_TONE, 300, 500, 100, 440},
                                                    {DETECT_TONE, 1600, 300, 100, 440}}));
    run = RunDetector(wfx, DETECT_TONE, 1000, ToPcm16(s), 8000);
    EXPECT_EQ(run.events, (std::vector<DetectEvent>{{DETECT_TONE, 1100, 500, 100, 1000}}));
    // Too quiet, or not standing out from its neighbours: no tone.
    EXPECT_TRUE(
        RunDetector(wfx, DETECT_TONE, 440, ToPcm16(Sine(440, 200, 500, 8000))).events.empty());
    EXPECT_TRUE(RunDetector(wfx, DETECT_TONE, 440, ToPcm16(Tones({440, 690}, 8000, 500, 8000)))
                    .events.empty());
    // A window too short to measure is no tone, not a failure.
    run = RunDetector(wfx, DETECT_TONE, 440, std::vector<uint8_t>(1, 0), 0, 0);
    EXPECT_EQ(run.nResult, 0);
}

TEST(DetectTone, FrequencyMustLieAboveZeroAndBelowHalfTheRate) {
    const WAVEFORMATEX wfx = PcmFormat(8000);
    for (uint32_t hz : {0u, 0x80000000u, 0x7FFFFFFFu, 0xFFFFFFFEu, 4000u}) {
        TraceCapture trace(3);
        EXPECT_EQ(DetectInit(DETECT_VERSION, VmModuleHandle(), &wfx, DETECT_TONE, hz,
                             DETECT_DEFAULT, DETECT_DEFAULT, nullptr, 0, 0),
                  nullptr)
            << hz;
        EXPECT_TRUE(trace.Has(L") : *** TracePosition\n")) << hz;
    }
    // The edges of the band, and the default, still measure.
    for (uint32_t hz : {1u, 3999u, DETECT_DEFAULT})
        EXPECT_EQ(RunDetector(wfx, DETECT_TONE, hz, ToPcm16(Sine(1000, 8000, 300, 8000))).nResult,
                  0)
            << hz;
}
