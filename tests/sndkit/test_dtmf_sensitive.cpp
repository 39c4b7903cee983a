// The sensitive DTMF detector (DETECT_DTMF_SENSITIVE) on generated keys,
// noise and speech-like audio.
#include <gtest/gtest.h>

#include "common/siggen.h"
#include "sndkit/detect_harness.h"

using namespace siggen;

namespace {

const std::string kAllKeys = "123A456B789C*0#D";
const unsigned kRates[] = {8000, 11025, 22050};

DetectRun Sensitive(unsigned rate, const Samples &s) {
    const WAVEFORMATEX wfx = PcmFormat(rate);
    return RunDetector(wfx, DETECT_DTMF, 0, ToPcm16(s), int32_t(wfx.nAvgBytesPerSec),
                       DETECT_DEFAULT, DETECT_DEFAULT, DETECT_DTMF_SENSITIVE);
}

// All keys as 40 ms tones with 40 ms between them after msLead of silence;
// noise of the given SNR (against both tones together) when snrDb is set.
struct Keys {
    double msLead, amplitude;
    Samples s;
    Keys(unsigned rate, double msLeadIn, double amplitudeIn, double snrDb = 0, uint32_t seed = 1)
        : msLead(msLeadIn), amplitude(amplitudeIn) {
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

std::string Text(const DetectRun &run) {
    std::string s;
    for (const DetectEvent &e : run.events)
        s += char(e.lParam);
    return s;
}

} // namespace

TEST(DtmfSensitive, EveryKeyFromMinus3DownToMinus45dBFS) {
    for (unsigned rate : kRates) {
        // A lead of 10 ms splits every tone evenly over three windows.
        for (double msLead : {0.0, 10.0, 13.0}) {
            for (double db = -3; db >= -45; db -= 6) {
                const Keys k(rate, msLead, DbToAmplitude(db));
                const DetectRun run = Sensitive(rate, k.s);
                EXPECT_EQ(run.nResult, 0);
                EXPECT_EQ(Text(run), kAllKeys) << rate << " Hz, " << db << " dBFS, " << msLead;
            }
        }
        // Under -60 dBFS per tone nothing counts as a key.
        EXPECT_TRUE(Sensitive(rate, Keys(rate, 0, DbToAmplitude(-66)).s).events.empty());
    }
    // 8-bit samples are read in full, not cut to fewer bits.
    const Keys k(8000, 0, DbToAmplitude(-30));
    const DetectRun run = RunDetector(PcmFormat(8000, 8), DETECT_DTMF, 0, ToPcm8(k.s), 0,
                                      DETECT_DEFAULT, DETECT_DEFAULT, DETECT_DTMF_SENSITIVE);
    EXPECT_EQ(Text(run), kAllKeys);
}

TEST(DtmfSensitive, KeysInWhiteNoise) {
    for (unsigned rate : kRates) {
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
    }
}

TEST(DtmfSensitive, NoMoreTalkOffThanTheDefaultDetector) {
    for (unsigned rate : kRates) {
        const WAVEFORMATEX wfx = PcmFormat(rate);
        const std::vector<uint8_t> speech = ToPcm16(SpeechLike(60000, rate, rate));
        const DetectRun plain = RunDetector(wfx, DETECT_DTMF, 0, speech, 0);
        const DetectRun sensitive = RunDetector(wfx, DETECT_DTMF, 0, speech, 0, DETECT_DEFAULT,
                                                DETECT_DEFAULT, DETECT_DTMF_SENSITIVE);
        EXPECT_LE(sensitive.events.size(), plain.events.size())
            << rate << " Hz: " << Text(sensitive) << " against " << Text(plain);
    }
}

TEST(DtmfSensitive, TwistHarmonicsAndCompetingTones) {
    const double a = DbToAmplitude(-20);
    const auto db = [](double d) { return pow(10, d / 20); };
    const auto key5 = [&](double rowDb, double columnDb,
                          std::vector<std::pair<double, double>> more) {
        Samples s = Concat({Sine(770, a * db(rowDb), 100, 8000)});
        s = Mix(s, Sine(1336, a * db(columnDb), 100, 8000));
        for (auto [hz, d] : more)
            s = Mix(s, Sine(hz, a * db(d), 100, 8000));
        return Text(Sensitive(8000, Concat({s, Silence(40, 8000)})));
    };
    EXPECT_EQ(key5(0, 0, {}), "5");
    // The row may lie up to 8 dB above the column, the column up to 4 dB
    // above the row.
    EXPECT_EQ(key5(0, -7.5, {}), "5");
    EXPECT_EQ(key5(0, -9, {}), "");
    EXPECT_EQ(key5(-3.5, 0, {}), "5");
    EXPECT_EQ(key5(-5, 0, {}), "");
    // Second harmonics of either tone, a second row, or a low partial of a
    // voice beside the key: no key.
    EXPECT_EQ(key5(0, 0, {{1540, -4}}), "");
    EXPECT_EQ(key5(0, 0, {{2672, -4}}), "");
    EXPECT_EQ(key5(0, 0, {{852, -3}}), "");
    EXPECT_EQ(key5(0, 0, {{350, -3}}), "");
    // Weaker, they leave the key alone.
    EXPECT_EQ(key5(0, 0, {{1540, -10}, {2672, -10}, {852, -10}, {350, -10}}), "5");
    // One tone alone is no key.
    EXPECT_EQ(Text(Sensitive(8000, Sine(770, a, 200, 8000))), "");
}
