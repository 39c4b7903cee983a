// The automatic silence level and the closing key, end to end: recordings of
// known speech in dead air of many kinds, trimmed as the desktop application
// would with -silence:auto, and checked against where the speech was put.
#include "sndkit/test_cli_support.h"

namespace {

using namespace cli;
using namespace siggen;

constexpr unsigned kRate = 8000;
constexpr long kPad = 250;

enum Air { DIGITAL, WHITE, PINK, HUM50, HUM60 };

struct Condition {
    const char *name;
    Air air;
    double airDb;      // RMS of the air, dBFS
    double speechPeak; // peak of the speech, dBFS; 0 leaves it as made
    long msKeyGap;     // from the end of the speech to the '#' key; 0: no key
    bool clicks;       // 5 ms clicks in the air before and after the speech
};

const Condition kConditions[] = {
    {"digital silence", DIGITAL, 0, 0, 700, false},
    {"white -60", WHITE, -60, 0, 400, false},
    {"white -50", WHITE, -50, 0, 700, false},
    {"white -40", WHITE, -40, 0, 1000, false},
    {"pink -60", PINK, -60, 0, 400, false},
    {"pink -50", PINK, -50, 0, 600, false},
    {"pink -40", PINK, -40, 0, 800, false},
    {"hum 50 Hz -45", HUM50, -45, 0, 500, false},
    {"hum 60 Hz -45", HUM60, -45, 0, 900, false},
    {"quiet speaker over -55", WHITE, -55, -30, 600, false},
    {"clicks in white -50", WHITE, -50, 0, 500, true},
    {"clicks in digital silence", DIGITAL, 0, 0, 0, true},
};

struct Recording {
    Samples samples;
    long msSpeechStart, msSpeechEnd; // first and last sound of the speech
    long msKeyStart;                 // -1 without a key
};

Samples AirOf(const Condition &c, double ms, uint32_t seed) {
    switch (c.air) {
    case WHITE:
        return Noise(DbToAmplitude(c.airDb), ms, kRate, seed);
    case PINK:
        return PinkNoise(DbToAmplitude(c.airDb), ms, kRate, seed);
    case HUM50:
        return Hum(50, DbToAmplitude(c.airDb), ms, kRate);
    case HUM60:
        return Hum(60, DbToAmplitude(c.airDb), ms, kRate);
    default:
        return Silence(ms, kRate);
    }
}

// About 1.5 s of air, 3 s of speech, the key's gap, a 150 ms '#' and 1.5 s of air,
// with the air under everything.
Recording Make(const Condition &c, uint32_t seed) {
    Samples speech = SpeechLike(3000, kRate, seed);
    if (c.speechPeak != 0) {
        int peak = 1;
        for (int16_t s : speech)
            peak = std::max(peak, std::abs(int(s)));
        const double gain = DbToAmplitude(c.speechPeak) / peak;
        for (int16_t &s : speech)
            s = Clip(s * gain);
    }
    // The speech is where it is audible: its first and last sample above -60 dBFS.
    const auto audible = [](int16_t s) { return std::abs(int(s)) >= 33; };
    const auto first = std::find_if(speech.begin(), speech.end(), audible);
    const auto last = std::find_if(speech.rbegin(), speech.rend(), audible);
    Recording r;
    const long msLead = 1537 + long(seed % 5) * 11; // off the windows' grid
    r.msSpeechStart = msLead + long((first - speech.begin()) * 1000 / long(kRate));
    r.msSpeechEnd = msLead + long((speech.rend() - last) * 1000 / long(kRate));
    Samples voice = Concat({Silence(double(msLead), kRate), speech});
    r.msKeyStart = -1;
    if (c.msKeyGap > 0) {
        const long msGap = r.msSpeechEnd - msLead - 3000 + c.msKeyGap;
        Append(voice, Silence(double(std::max(0L, msGap)), kRate));
        r.msKeyStart = long(voice.size() * 1000 / kRate);
        Append(voice, Dtmf("#", 150, 0, DbToAmplitude(-10), kRate));
    }
    Append(voice, Silence(1500, kRate));
    if (c.clicks) {
        // A click 300 ms into the lead and 400 ms after the speech.
        for (long ms : {300L, r.msSpeechEnd + 400}) {
            const Samples click = Sine(1000, DbToAmplitude(-10), 5, kRate);
            std::copy(click.begin(), click.end(),
                      voice.begin() + long(SampleCount(double(ms), kRate)));
        }
    }
    r.samples = Mix(voice, AirOf(c, double(voice.size()) * 1000 / kRate, seed + 100));
    return r;
}

struct Encoding {
    const char *name;
    int format;
};
const Encoding kEncodings[] = {
    {"pcm16", SF_FORMAT_PCM_16}, {"mulaw", SF_FORMAT_ULAW}, {"alaw", SF_FORMAT_ALAW}};

// Where in the source the one kept stretch lies, in ms: {start, end}.
std::pair<double, double> KeptMs(const std::string &dst, const std::string &src) {
    auto source = Chunks(ReadBytes(src)), copy = Chunks(ReadBytes(dst));
    const auto &data = source["data"], &kept = copy["data"];
    const auto &fmt = source["fmt "];
    EXPECT_GE(fmt.size(), 16u);
    if (fmt.size() < 16 || kept.empty())
        return {-1, -1};
    const double perMs = (fmt[8] | fmt[9] << 8 | fmt[10] << 16) / 1000.0;
    const auto at = std::search(data.begin(), data.end(), kept.begin(), kept.end());
    EXPECT_NE(at, data.end());
    const double offset = double(at - data.begin());
    return {offset / perMs, (offset + double(kept.size())) / perMs};
}

TEST(SilenceAuto, TrimsDeadAirAndTheClosingKeyWithoutCuttingSpeech) {
    uint32_t seed = 0;
    for (const Condition &c : kConditions) {
        ++seed;
        for (const Encoding &e : kEncodings) {
            SCOPED_TRACE(std::string(c.name) + ", " + e.name);
            TempDir dir;
            const Recording rec = Make(c, seed);
            const std::string src = dir / "in.wav";
            ASSERT_TRUE(WriteSndfile(src, SF_FORMAT_WAV | e.format, int(kRate), 1, rec.samples));
            Result r = RunProbe(dir, {src, "-silence:auto,300,20", "-dtmf",
                                      "-strip:out.wav,11," + std::to_string(kPad)});
            ASSERT_EQ(r.status, 0) << r.out;
            const auto [start, end] = KeptMs(dir / "out.wav", src);
            // No speech cut beyond 5 ms.
            EXPECT_LE(start, double(rec.msSpeechStart) + 5) << r.out;
            EXPECT_GE(end, double(rec.msSpeechEnd) - 5) << r.out;
            // At most a second of dead air beyond the padding.
            EXPECT_GE(start, double(rec.msSpeechStart - kPad - 1000)) << r.out;
            EXPECT_LE(end, double(rec.msSpeechEnd + kPad + 1000)) << r.out;
            if (rec.msKeyStart >= 0) {
                EXPECT_LE(end, double(rec.msKeyStart)) << r.out;
            }
            printf("%-28s %-6s kept %7.1f..%7.1f speech %5ld..%5ld cut %5.1f/%5.1f air %6.1f/%6.1f "
                   "key %s\n",
                   c.name, e.name, start, end, rec.msSpeechStart, rec.msSpeechEnd,
                   std::max(0.0, start - double(rec.msSpeechStart)),
                   std::max(0.0, double(rec.msSpeechEnd) - end),
                   double(rec.msSpeechStart) - kPad - start, end - double(rec.msSpeechEnd) - kPad,
                   rec.msKeyStart < 0              ? "-"
                   : end <= double(rec.msKeyStart) ? "gone"
                                                   : "KEPT");
        }
    }
}

} // namespace
