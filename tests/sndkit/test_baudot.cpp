// The TTY receivers: the zero-crossing one step by step and end to end, the
// robust one (DETECT_BAUDOT_ROBUST) under noise, and the return to letters
// at a space (DETECT_BAUDOT_UNSHIFT_ON_SPACE), on generated FSK.
#include <gtest/gtest.h>
#include <wchar.h>

#include "common/siggen.h"
#include "sndkit/detect_harness.h"
#include "sndkit/detect_baudot.h"

using namespace siggen;

namespace {

// Fed in the program's 1000 ms blocks.
DetectRun Receive(unsigned rate, const Samples &s, uint32_t dwFlags = 0) {
    const WAVEFORMATEX wfx = PcmFormat(rate);
    return RunDetector(wfx, DETECT_BAUDOT, 0, ToPcm16(s), int32_t(wfx.nAvgBytesPerSec),
                       DETECT_DEFAULT, DETECT_DEFAULT, dwFlags);
}

// The RMS of white noise snrDb below a carrier of this peak amplitude.
double NoiseRms(const BaudotOptions &opt, double snrDb) {
    return opt.amplitude / sqrt(2.0) / pow(10.0, snrDb / 20);
}

Samples WithNoise(const Samples &s, double rms, unsigned rate, uint32_t seed) {
    return Mix(s, Noise(rms, double(s.size()) * 1000 / rate, rate, seed));
}

// Decodes text sent with stopBits and msGap of extra mark between characters,
// after msLead of mark, between stretches of digital silence. snrDb > 0 lays
// white noise over the carrier.
std::string RoundTrip(const std::string &text, unsigned rate, double stopBits, double msGap,
                      double msLead, double snrDb = 0, uint32_t dwFlags = 0) {
    BaudotOptions opt;
    opt.stopBits = stopBits;
    opt.msCharGap = msGap;
    opt.msLeadMark = msLead;
    Samples tty = Baudot(text, rate, opt);
    if (snrDb > 0)
        tty = WithNoise(tty, NoiseRms(opt, snrDb), rate, uint32_t(msLead) + 1);
    const DetectRun run =
        Receive(rate, Concat({Silence(200, rate), tty, Silence(203, rate)}), dwFlags);
    EXPECT_EQ(run.nResult, 0);
    return Chars(run);
}

// Runs the Baudot step over one window per letter of script, 5 ms at 8000 Hz
// each: M mark, S space, 0 neither, t a block's 2.25 ms tail reading neither.
// Answers the decoded runs as "M22 S45".
std::string Runs(const char *script) {
    const WAVEFORMATEX wfx = PcmFormat(8000);
    HDETECT h = DetectInit(DETECT_VERSION, VmModuleHandle(), &wfx, DETECT_BAUDOT, 0, DETECT_DEFAULT,
                           DETECT_DEFAULT, nullptr, 0, 0);
    TraceCapture trace(4);
    const uint8_t window[80] = {};
    for (const char *p = script; *p; ++p) {
        DetectStats st = {};
        st.lCrossingsPerSecond = *p == 'M' ? 2800 : *p == 'S' ? 3600 : 3200;
        DetectBaudotStep(h, window, *p == 't' ? 36 : 80, &st);
    }
    DetectBaudotStep(h, nullptr, 0, nullptr);
    DetectTerm(h);
    std::string runs;
    long hz, ms;
    for (const wchar_t *p = trace.Text().c_str(); (p = wcsstr(p, L"tone=")) != nullptr; ++p)
        if (swscanf(p, L"tone=%ld Hz, duration=%ld ms", &hz, &ms) == 2)
            runs += (hz == BAUDOT_MARK ? " M" : " S") + std::to_string(ms);
    return runs.empty() ? runs : runs.substr(1);
}

// A detector whose decoder is fed tone runs directly.
struct Decoder {
    EventLog log;
    HDETECT h = nullptr;
    Decoder() {
        const WAVEFORMATEX wfx = PcmFormat(8000);
        h = DetectInit(DETECT_VERSION, VmModuleHandle(), &wfx, DETECT_BAUDOT, 0, DETECT_DEFAULT,
                       DETECT_DEFAULT, &EventLog::Proc, reinterpret_cast<uintptr_t>(&log), 0);
    }
    ~Decoder() { EXPECT_EQ(DetectTerm(h), 0); }
    void Bits(const char *bits) {
        for (const char *p = bits; *p; ++p)
            DetectBaudotDecode(h, *p == '1' ? BAUDOT_MARK : BAUDOT_SPACE, 0, 22);
    }
    std::string Chars() const { // shifts included
        std::string s;
        for (const DetectEvent &e : log.events)
            s += char(e.lParam);
        return s;
    }
};

// Characters to insert, drop or change to turn a into b.
size_t EditDistance(const std::string &a, const std::string &b) {
    std::vector<size_t> prev(b.size() + 1), cur(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j)
        prev[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        cur[0] = i;
        for (size_t j = 1; j <= b.size(); ++j)
            cur[j] = std::min({prev[j] + 1, cur[j - 1] + 1, prev[j - 1] + (a[i - 1] != b[j - 1])});
        std::swap(prev, cur);
    }
    return prev[b.size()];
}

} // namespace

TEST(Baudot, TextRoundTripsThroughTheDetectorAtEveryRate) {
    const std::string text = "RYRY 0123456789 THE QUICK BROWN FOX, JUMPS?\r\n";
    for (unsigned rate : {8000u, 11025u, 16000u, 22050u, 44100u, 48000u}) {
        // The lead-in moves every tone change against the window grid and
        // against the window that each block leaves unfinished.
        for (double msLead = 150; msLead <= 190; msLead += 4) {
            EXPECT_EQ(RoundTrip(text, rate, 2, 0, msLead), text) << rate << " Hz, " << msLead;
            EXPECT_EQ(RoundTrip(text, rate, 2, 7, msLead), text) << rate << " Hz, " << msLead;
            // 1.5 stop bits back to back need the robust receiver.
            EXPECT_EQ(RoundTrip(text, rate, 1.5, 0, msLead, 0, DETECT_BAUDOT_ROBUST), text)
                << rate << " Hz, " << msLead;
        }
        // White noise of one power adds more crossings the more samples
        // carry it; telephone rates stand 20 dB of it.
        for (double msLead : {150, 163, 177}) {
            if (rate > 11025)
                break;
            EXPECT_EQ(RoundTrip(text, rate, 2, 0, msLead, 20), text) << rate << " Hz, noise";
        }
    }
}

TEST(Baudot, TransitionsBetweenToneRuns) {
    // A window between the bands, as at a tone change, is a run of its own
    // and ends the tone run before it, even between windows of one tone.
    EXPECT_EQ(Runs("SSSS0MMMM000"), "S20 M20");
    EXPECT_EQ(Runs("SSS0S000"), "S15");
    EXPECT_EQ(Runs("MMMMM0"), "M25");
    // The end of the data ends the run; a block's short tail reads neither,
    // and a run under the 11 ms minimum is no bit.
    EXPECT_EQ(Runs("MMMMMt"), "M25");
    EXPECT_EQ(Runs("MMM"), "M15");
    EXPECT_EQ(Runs("MM0SS"), "");
    // A character's event spans the run that completed it, here the stop
    // bits of E (0 10000 11) and the trailing mark, up to the silence.
    const Samples s = Concat({Silence(200, 8000), Baudot("E", 8000), Silence(100, 8000)});
    DetectRun run = RunDetector(PcmFormat(8000), DETECT_BAUDOT, 0, ToPcm16(s), 16000);
    ASSERT_EQ(run.events.size(), 1u);
    EXPECT_EQ(run.events[0].lParam, uint32_t('E'));
    EXPECT_NEAR(run.events[0].msStart, 200 + 150 + 6 * kBaudotBitMs, 5);
    EXPECT_NEAR(run.events[0].msDuration, 2 * kBaudotBitMs + 150, 5);
    // The robust receiver times a frame from its start bit to the end of the
    // first stop bit, seven bits.
    run = Receive(8000, s, DETECT_BAUDOT_ROBUST);
    ASSERT_EQ(run.events.size(), 1u);
    EXPECT_EQ(run.events[0].lParam, uint32_t('E'));
    EXPECT_NEAR(run.events[0].msStart, 350, 2);
    EXPECT_NEAR(run.events[0].msDuration, 7 * kBaudotBitMs, 2);
}

TEST(Baudot, ToneClassesFromTheCrossingRate) {
    const std::pair<int32_t, int32_t> cases[] = {{2599, 0},    {2600, 1400}, {3000, 1400},
                                                 {3001, 0},    {3399, 0},    {3400, 1800},
                                                 {3800, 1800}, {3801, 0},    {-1, 0}};
    for (const auto &[rate, tone] : cases) {
        DetectStats st = {};
        st.lCrossingsPerSecond = rate;
        EXPECT_EQ(DetectBaudotClassify(&st), tone) << rate;
    }
    // A tail shorter than 1 ms ends the data without failing the run.
    Samples s = Baudot("E", 8000);
    s.resize((s.size() / 20 + 1) * 20 + 4, 0); // whole 5 ms windows and 0.5 ms
    const DetectRun run = RunDetector(PcmFormat(8000), DETECT_BAUDOT, 0, ToPcm16(s));
    EXPECT_EQ(run.nResult, 0);
    EXPECT_EQ(Chars(run), "E");
}

TEST(Baudot, FramesShiftsAndResynchronisation) {
    {
        // 0 (start), 10000 (code 16), 11 (stop): E in letters, 3 in figures;
        // the figures shift (27) holds until the letters shift (31).
        Decoder d;
        for (const char *frame :
             {"01000011", "01101111", "01000011", "01000011", "01111111", "01000011"})
            d.Bits(frame);
        EXPECT_EQ(d.Chars(), "E\x1b"
                             "33\x1f"
                             "E");
    }
    {
        // A frame with a bad stop bit is skipped one bit at a time until a
        // frame lines up: 0 1000 0 1 then 0 10000 11 must still give E.
        Decoder d;
        TraceCapture trace(3);
        d.Bits("0100001");
        d.Bits("0");
        d.Bits("01000011");
        EXPECT_EQ(d.Chars(), "E");
        EXPECT_GE(trace.Count(L"detect("), 1u);
    }
    // Runs are cut into 22 ms bits, to the nearest: 10 ms is no bit, 11 ms
    // one, 32 ms still one, 33 ms two; 54 ms two and 55 ms three.
    Decoder d;
    TraceCapture trace(5);
    const std::pair<int, int> runs[] = {{10, 0}, {11, 1}, {32, 1}, {33, 2}, {54, 2}, {55, 3}};
    for (const auto &[ms, cBits] : runs) {
        DetectBaudotDecode(d.h, BAUDOT_MARK, 0, uint32_t(ms));
        EXPECT_TRUE(trace.Has(L"sndprobe: tone=1400 Hz, duration=" + std::to_wstring(ms) +
                              L" ms, cBits=" + std::to_wstring(cBits) + L"\n"))
            << ms;
    }
    // After those mark bits, 5 space bits and 3 mark bits line up as the
    // frame 0 00001 11 (code 1, T) only at the last bit.
    DetectBaudotDecode(d.h, BAUDOT_SPACE, 0, 110);
    DetectBaudotDecode(d.h, BAUDOT_MARK, 500, 66);
    EXPECT_TRUE(trace.Has(L"sndprobe: 0x07 (00000111)\n"));
    ASSERT_EQ(d.Chars(), "T");
    EXPECT_EQ(d.log.events[0].msStart, 500u);
    EXPECT_EQ(d.log.events[0].msDuration, 66u);
}

TEST(BaudotRobust, UnderTwoPercentCharacterErrorsAt3dBAndNothingFromNoise) {
    const std::string text = "THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG 0123456789 $?!/-(). "
                             "CALL 555-1234, HELLO\r\n";
    // The text under white noise of 3 dB SNR, which also fills 300 ms before
    // the carrier and after it.
    const auto noisy = [&](unsigned rate, const BaudotOptions &opt, uint32_t seed) {
        const double rms = NoiseRms(opt, 3);
        return Concat({Noise(rms, 300, rate, seed + 100),
                       WithNoise(Baudot(text, rate, opt), rms, rate, seed),
                       Noise(rms, 300, rate, seed + 200)});
    };
    for (unsigned rate : {8000u, 11025u}) {
        size_t nErrors = 0, nSent = 0;
        uint32_t seed = 1;
        for (double speed : {0.98, 1.0, 1.02}) {
            for (double stopBits : {1.5, 2.0}) {
                BaudotOptions opt;
                opt.speed = speed;
                opt.stopBits = stopBits;
                const DetectRun run = Receive(rate, noisy(rate, opt, ++seed), DETECT_BAUDOT_ROBUST);
                EXPECT_EQ(run.nResult, 0);
                // Noise before the carrier adds nothing in front of the text.
                EXPECT_EQ(Chars(run).substr(0, 4), "THE ") << rate << " Hz, " << speed;
                nErrors += EditDistance(Chars(run), text);
                nSent += text.size();
            }
        }
        EXPECT_LT(double(nErrors) / double(nSent), 0.02) << rate << " Hz";
        // The zero-crossing receiver fails on the same signal.
        EXPECT_GT(EditDistance(Chars(Receive(rate, noisy(rate, {}, 1))), text), text.size() / 2)
            << rate << " Hz";
        EXPECT_TRUE(
            Receive(rate, Noise(3000, 60000, rate, rate), DETECT_BAUDOT_ROBUST).events.empty())
            << rate << " Hz";
    }
    // Both tones must lie below half the sample rate.
    const WAVEFORMATEX low = PcmFormat(3000);
    EXPECT_EQ(DetectInit(DETECT_VERSION, VmModuleHandle(), &low, DETECT_BAUDOT, 0, DETECT_DEFAULT,
                         DETECT_DEFAULT, nullptr, 0, DETECT_BAUDOT_ROBUST),
              nullptr);
}

TEST(BaudotRobust, LettersAgainAfterASpaceWhenAsked) {
    BaudotOptions opt;
    opt.unshiftOnSpace = true;
    const std::string text = "CALL 555 1234 NOW";
    const Samples s = Concat({Baudot(text, 8000, opt), Silence(100, 8000)});
    // Without the convention the letters after the figures come out as figures.
    EXPECT_EQ(Chars(Receive(8000, s, DETECT_BAUDOT_ROBUST)), "CALL 555 1234 ,92");
    EXPECT_EQ(Chars(Receive(8000, s, DETECT_BAUDOT_ROBUST | DETECT_BAUDOT_UNSHIFT_ON_SPACE)), text);
    // The convention belongs to the decoding, so the default receiver keeps it too.
    EXPECT_EQ(Chars(Receive(8000, s, DETECT_BAUDOT_UNSHIFT_ON_SPACE)), text);
}
