// The tone and DTMF detectors, the sensitive DTMF detector and the Goertzel
// filter under them, on generated keys, tones, noise and speech-like audio.
#include <gtest/gtest.h>

#include "common/siggen.h"
#include "sndkit/detect_harness.h"

using namespace siggen;

namespace {

const WAVEFORMATEX k8k = PcmFormat(8000);
const double kLevel = DbToAmplitude(-12); // per tone
const std::string kAllKeys = "123A456B789C*0#D";

// A detector fed one second at a time, as the program does by default.
DetectRun BySecond(unsigned rate, uint32_t dwType, const Samples &s, uint32_t dwFlags = 0) {
    const WAVEFORMATEX wfx = PcmFormat(rate);
    return RunDetector(wfx, dwType, 0, ToPcm16(s), int32_t(wfx.nAvgBytesPerSec), DETECT_DEFAULT,
                       DETECT_DEFAULT, dwFlags);
}

DetectRun Sensitive(unsigned rate, const Samples &s) {
    return BySecond(rate, DETECT_DTMF, s, DETECT_DTMF_SENSITIVE);
}

int32_t Magnitude(const std::vector<uint8_t> &pcm, int32_t hz, int32_t cbSample) {
    HGOERTZEL h = GoertzelInit(GOERTZEL_VERSION, VmModuleHandle(), 8000, hz, int32_t(pcm.size()),
                               cbSample, 0);
    EXPECT_NE(h, nullptr);
    const int32_t m = GoertzelProcessBlock(h, pcm.data(), uint32_t(pcm.size()), 0);
    EXPECT_EQ(GoertzelTerm(h), 0);
    return m;
}

// All keys as 40 ms tones with 40 ms between them after msLead of silence;
// noise of the given SNR (against both tones together) when snrDb is set.
struct Keys {
    double msLead;
    Samples s;
    Keys(unsigned rate, double msLeadIn, double amplitude, double snrDb = 0, uint32_t seed = 1)
        : msLead(msLeadIn) {
        s = Concat(
            {Silence(msLead, rate), Dtmf(kAllKeys, 40, 40, amplitude, rate), Silence(60, rate)});
        if (snrDb != 0)
            s = Mix(s, Noise(amplitude / pow(10, snrDb / 20), double(s.size()) * 1000 / rate, rate,
                             seed));
    }
    // Keys reported over their own tone; anything else is counted as false.
    int Found(const DetectRun &run, int *pFalse) const {
        std::string seen(kAllKeys.size(), ' ');
        for (const DetectEvent &e : run.events) {
            const size_t i = size_t((double(e.msStart) + e.msDuration / 2.0 - msLead) / 80);
            if (i < kAllKeys.size() && kAllKeys[i] == char(e.lParam) && seen[i] == ' ')
                seen[i] = char(e.lParam);
            else
                ++*pFalse;
        }
        return int(std::count_if(seen.begin(), seen.end(), [](char c) { return c != ' '; }));
    }
};

} // namespace

TEST(DetectDtmf, AllSixteenKeysOnRealSignals) {
    // Not 11025 Hz: there 770 Hz lies 0.43 of a bin off its bin in a 20 ms
    // window, and the leakage into the 697 Hz bin can exceed a third of it.
    for (unsigned rate : {8000u, 16000u, 22050u, 44100u}) {
        const DetectRun run =
            BySecond(rate, DETECT_DTMF,
                     Concat({Silence(100, rate), Dtmf(kAllKeys, 100, 100, kLevel, rate)}));
        EXPECT_EQ(run.nResult, 0);
        EXPECT_EQ(Chars(run), kAllKeys) << rate;
        // Each key is reported once, near where it was pressed.
        for (size_t i = 0; i < run.events.size(); ++i) {
            EXPECT_NEAR(double(run.events[i].msStart), 100 + 200.0 * double(i), 20) << i;
            EXPECT_NEAR(double(run.events[i].msDuration), 100, 20) << i;
        }
    }
    // 8-bit data and noise under the tones change nothing.
    const Samples noisy = Mix(Dtmf("159#", 100, 100, kLevel, 8000), Noise(300, 800, 8000));
    EXPECT_EQ(Chars(RunDetector(PcmFormat(8000, 8), DETECT_DTMF, 0, ToPcm8(noisy))), "159#");
}

TEST(DetectDtmf, KeyRunsAndTheirLimits) {
    // Key 5 for 100 ms in 20 ms windows: one event of 100 ms; 20 ms is too short.
    DetectRun run = RunDetector(
        k8k, DETECT_DTMF, 0,
        ToPcm16(Concat({Dtmf("5", 100, 100, kLevel, 8000), Dtmf("5", 20, 100, kLevel, 8000)})));
    EXPECT_EQ(run.events, (std::vector<DetectEvent>{{DETECT_DTMF, 0, 100, 20, '5'}}));
    // A key held to the end is reported by the end-of-data call; one held
    // through two presses without a gap is one key.
    run = RunDetector(k8k, DETECT_DTMF, 0, ToPcm16(Dtmf("77", 100, 0, kLevel, 8000)));
    EXPECT_EQ(run.events, (std::vector<DetectEvent>{{DETECT_DTMF, 0, 200, 20, '7'}}));
    // Two rows of equal strength are no key; nor is noise.
    const Samples twoRows = Tones({697, 770, 1209}, kLevel, 200, 8000);
    EXPECT_TRUE(RunDetector(k8k, DETECT_DTMF, 0, ToPcm16(twoRows)).events.empty());
    EXPECT_TRUE(RunDetector(k8k, DETECT_DTMF, 0, ToPcm16(Noise(3000, 1000, 8000))).events.empty());
    // With no minimum and no data there is nothing to report.
    run = RunDetector(k8k, DETECT_DTMF, 0, {}, 0, 0);
    EXPECT_EQ(run.nResult, 0);
    EXPECT_TRUE(run.events.empty());
    // A window without a whole sample cannot be measured: the block fails.
    const auto pcm = ToPcm16(Dtmf("1", 40, 0, kLevel, 8000));
    run = RunDetector(k8k, DETECT_DTMF, 0, std::vector<uint8_t>(pcm.begin(), pcm.begin() + 321));
    EXPECT_EQ(run.nResult, -1);
}

TEST(DtmfSensitive, EveryKeyFromMinus3DownToMinus45dBFSAndInWhiteNoise) {
    for (unsigned rate : {8000u, 11025u, 22050u}) {
        // A lead of 10 ms splits every tone evenly over three windows.
        for (double msLead : {0.0, 10.0, 13.0}) {
            for (double db : {-3.0, -45.0}) {
                const DetectRun run = Sensitive(rate, Keys(rate, msLead, DbToAmplitude(db)).s);
                EXPECT_EQ(run.nResult, 0);
                EXPECT_EQ(Chars(run), kAllKeys) << rate << " Hz, " << db << " dBFS, " << msLead;
            }
        }
        // Under -60 dBFS per tone nothing counts as a key.
        EXPECT_TRUE(Sensitive(rate, Keys(rate, 0, DbToAmplitude(-66)).s).events.empty());
        for (uint32_t seed = 1; seed <= 6; ++seed) {
            // Every other run splits the tones evenly over three windows.
            const double msLead = seed % 2 ? 10 : double(seed * 7 % 20);
            int nFalse = 0;
            const Keys at6(rate, msLead, DbToAmplitude(-16), 6, seed);
            EXPECT_EQ(at6.Found(Sensitive(rate, at6.s), &nFalse), 16) << rate << " Hz, " << seed;
            const Keys at3(rate, msLead, DbToAmplitude(-16), 3, seed);
            EXPECT_GE(at3.Found(Sensitive(rate, at3.s), &nFalse), 14) << rate << " Hz, " << seed;
            EXPECT_EQ(nFalse, 0) << rate << " Hz, " << seed;
        }
        EXPECT_TRUE(Sensitive(rate, Noise(3000, 60000, rate)).events.empty()) << rate;
        // No more talk-off than the default detector.
        const Samples speech = SpeechLike(60000, rate, rate);
        const DetectRun plain = RunDetector(PcmFormat(rate), DETECT_DTMF, 0, ToPcm16(speech));
        const DetectRun sensitive =
            RunDetector(PcmFormat(rate), DETECT_DTMF, 0, ToPcm16(speech), 0, DETECT_DEFAULT,
                        DETECT_DEFAULT, DETECT_DTMF_SENSITIVE);
        EXPECT_LE(sensitive.events.size(), plain.events.size())
            << rate << " Hz: " << Chars(sensitive) << " against " << Chars(plain);
    }
    // 8-bit samples are read in full, not cut to fewer bits.
    const DetectRun run =
        RunDetector(PcmFormat(8000, 8), DETECT_DTMF, 0, ToPcm8(Keys(8000, 0, DbToAmplitude(-30)).s),
                    0, DETECT_DEFAULT, DETECT_DEFAULT, DETECT_DTMF_SENSITIVE);
    EXPECT_EQ(Chars(run), kAllKeys);
}

TEST(DtmfSensitive, TwistHarmonicsAndCompetingTones) {
    const double a = DbToAmplitude(-20);
    const auto db = [](double d) { return pow(10, d / 20); };
    // Key 5 with its row and column at these levels and more tones beside it.
    const auto key5 = [&](double rowDb, double columnDb,
                          std::vector<std::pair<double, double>> more) {
        more.insert(more.end(), {{770, rowDb}, {1336, columnDb}});
        Samples s = Silence(100, 8000);
        for (auto [hz, d] : more)
            s = Mix(s, Sine(hz, a * db(d), 100, 8000));
        return Chars(Sensitive(8000, Concat({s, Silence(40, 8000)})));
    };
    // The row may lie up to 8 dB above the column, the column up to 4 dB
    // above the row. Second harmonics of either tone, a second row, or a low
    // partial of a voice beside the key: no key; weaker, they leave it alone.
    const struct {
        double rowDb, columnDb;
        std::vector<std::pair<double, double>> more;
        const char *keys;
    } cases[] = {
        {0, 0, {}, "5"},          {0, -7.5, {}, "5"},
        {0, -9, {}, ""},          {-3.5, 0, {}, "5"},
        {-5, 0, {}, ""},          {0, 0, {{1540, -4}}, ""},
        {0, 0, {{2672, -4}}, ""}, {0, 0, {{852, -3}}, ""},
        {0, 0, {{350, -3}}, ""},  {0, 0, {{1540, -10}, {2672, -10}, {852, -10}, {350, -10}}, "5"}};
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(key5(cases[i].rowDb, cases[i].columnDb, cases[i].more), cases[i].keys) << i;
    // One tone alone is no key.
    EXPECT_EQ(Chars(Sensitive(8000, Sine(770, a, 200, 8000))), "");
}

TEST(DetectTone, SingleToneRunsAndTheBand) {
    const Samples s = Concat({Silence(300, 8000), Sine(440, 8000, 500, 8000), Silence(300, 8000),
                              Sine(1000, 8000, 500, 8000), Sine(440, 8000, 300, 8000)});
    // The default is 440 Hz in 100 ms windows with a 100 ms minimum.
    DetectRun run = RunDetector(k8k, DETECT_TONE, DETECT_DEFAULT, ToPcm16(s), 8000);
    EXPECT_EQ(run.nResult, 0);
    EXPECT_EQ(run.events, (std::vector<DetectEvent>{{DETECT_TONE, 300, 500, 100, 440},
                                                    {DETECT_TONE, 1600, 300, 100, 440}}));
    run = RunDetector(k8k, DETECT_TONE, 1000, ToPcm16(s), 8000);
    EXPECT_EQ(run.events, (std::vector<DetectEvent>{{DETECT_TONE, 1100, 500, 100, 1000}}));
    // Too quiet, or not standing out from its neighbours: no tone.
    EXPECT_TRUE(
        RunDetector(k8k, DETECT_TONE, 440, ToPcm16(Sine(440, 200, 500, 8000))).events.empty());
    EXPECT_TRUE(RunDetector(k8k, DETECT_TONE, 440, ToPcm16(Tones({440, 690}, 8000, 500, 8000)))
                    .events.empty());
    // A window too short to measure is no tone, not a failure.
    EXPECT_EQ(RunDetector(k8k, DETECT_TONE, 440, std::vector<uint8_t>(1, 0), 0, 0).nResult, 0);

    // The frequency must lie above zero and below half the rate (the
    // command-line test tries the extremes of the 32 bits).
    for (uint32_t hz : {0u, 4000u}) {
        TraceCapture trace(3);
        EXPECT_EQ(DetectInit(DETECT_VERSION, VmModuleHandle(), &k8k, DETECT_TONE, hz,
                             DETECT_DEFAULT, DETECT_DEFAULT, nullptr, 0, 0),
                  nullptr)
            << hz;
        EXPECT_EQ(trace.Positions(L"detect"), 1u) << hz;
    }
    for (uint32_t hz : {1u, 3999u})
        EXPECT_EQ(RunDetector(k8k, DETECT_TONE, hz, ToPcm16(Sine(1000, 8000, 300, 8000))).nResult,
                  0)
            << hz;
}

TEST(Goertzel, MagnitudeOfRealTonesAndRefusals) {
    // A full-scale 697 Hz tone over 160 samples at 8000 Hz lands in bin 14
    // (700 Hz): about 127 * 160 / 2.
    const std::vector<uint8_t> pcm = ToPcm16(Sine(697, 32767, 20, 8000));
    const int32_t m16 = Magnitude(pcm, 697, 2);
    EXPECT_NEAR(m16, 127 * 160 / 2, 400);
    // Samples are reduced to 8 bits, whose offset of 128 stays in bin 0.
    EXPECT_NEAR(Magnitude(ToPcm8(Sine(697, 32767, 20, 8000)), 697, 1), m16, 100);
    EXPECT_EQ(Magnitude(ToPcm16(Silence(20, 8000)), 697, 2), 0);
    EXPECT_NEAR(Magnitude(ToPcm16(Silence(20, 8000)), 0, 2), 128 * 160, 1);
    // Far from the tone the filter hears little of it.
    EXPECT_LT(Magnitude(pcm, 1633, 2), m16 / 20);

    const VMHINSTANCE hi = VmModuleHandle();
    TraceCapture trace(3);
    EXPECT_EQ(GoertzelInit(0x101, hi, 8000, 697, 320, 2, 0), nullptr);
    EXPECT_EQ(GoertzelInit(GOERTZEL_VERSION, nullptr, 8000, 697, 320, 2, 0), nullptr);
    EXPECT_EQ(GoertzelInit(GOERTZEL_VERSION, hi, 8000, 697, 1, 2, 0), nullptr); // no whole sample
    EXPECT_EQ(GoertzelInit(GOERTZEL_VERSION, hi, 8000, 697, 320, 0, 0), nullptr);
    EXPECT_EQ(GoertzelInit(GOERTZEL_VERSION, hi, 0, 697, 320, 2, 0), nullptr);
    // A filter can be run over many blocks of its length; an empty one gives 0.
    HGOERTZEL h = GoertzelInit(GOERTZEL_VERSION, hi, 8000, 697, 320, 2, 0);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(GoertzelProcessBlock(h, pcm.data(), 320, 0), m16);
    EXPECT_EQ(GoertzelProcessBlock(h, pcm.data(), 320, 0), m16);
    EXPECT_EQ(GoertzelProcessBlock(h, pcm.data(), 1, 0), 0);
    EXPECT_EQ(GoertzelProcessBlock(h, nullptr, 320, 0), -1);
    EXPECT_EQ(GoertzelTerm(h), 0);
    EXPECT_EQ(GoertzelProcessBlock(h, pcm.data(), 4, 0), -1);
    EXPECT_EQ(GoertzelTerm(h), -1);
    EXPECT_EQ(trace.Positions(L"goertzel"), 8u);
}
