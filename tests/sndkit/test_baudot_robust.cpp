// The robust TTY receiver (DETECT_BAUDOT_ROBUST) and the return to letters
// at a space (DETECT_BAUDOT_UNSHIFT_ON_SPACE) on generated FSK.
#include <gtest/gtest.h>

#include "common/siggen.h"
#include "sndkit/detect_harness.h"

using namespace siggen;

namespace {

const std::string kText = "THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG 0123456789 $?!/-(). "
                          "CALL 555-1234, HELLO\r\n";

std::string Text(const DetectRun &run) {
    std::string s;
    for (const DetectEvent &e : run.events)
        if (e.lParam != DETECT_BAUDOT_FIGURES && e.lParam != DETECT_BAUDOT_LETTERS)
            s += char(e.lParam);
    return s;
}

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

DetectRun Receive(unsigned rate, const Samples &s, uint32_t dwFlags) {
    const WAVEFORMATEX wfx = PcmFormat(rate);
    return RunDetector(wfx, DETECT_BAUDOT, 0, ToPcm16(s), int32_t(wfx.nAvgBytesPerSec),
                       DETECT_DEFAULT, DETECT_DEFAULT, dwFlags);
}

// The text sent with opt under white noise of the given SNR, which also
// fills 300 ms before the carrier and after it.
Samples Noisy(const std::string &text, unsigned rate, const BaudotOptions &opt, double snrDb,
              uint32_t seed) {
    const Samples tty = Baudot(text, rate, opt);
    const double rms = opt.amplitude / sqrt(2.0) / pow(10.0, snrDb / 20);
    return Concat({Noise(rms, 300, rate, seed + 100),
                   Mix(tty, Noise(rms, double(tty.size()) * 1000 / rate, rate, seed)),
                   Noise(rms, 300, rate, seed + 200)});
}

} // namespace

TEST(BaudotRobust, UnderTwoPercentCharacterErrorsAt3dB) {
    for (unsigned rate : {8000u, 11025u}) {
        size_t nErrors = 0, nSent = 0;
        uint32_t seed = 1;
        for (double speed : {0.98, 1.0, 1.02}) {
            for (double stopBits : {1.5, 2.0}) {
                BaudotOptions opt;
                opt.speed = speed;
                opt.stopBits = stopBits;
                const DetectRun run =
                    Receive(rate, Noisy(kText, rate, opt, 3, ++seed), DETECT_BAUDOT_ROBUST);
                EXPECT_EQ(run.nResult, 0);
                // Noise before the carrier adds nothing in front of the text.
                EXPECT_EQ(Text(run).substr(0, 4), "THE ") << rate << " Hz, " << speed;
                nErrors += EditDistance(Text(run), kText);
                nSent += kText.size();
            }
        }
        EXPECT_LT(double(nErrors) / double(nSent), 0.02) << rate << " Hz";
        // The zero-crossing receiver fails on the same signal.
        const DetectRun crossings = Receive(rate, Noisy(kText, rate, {}, 3, 1), 0);
        EXPECT_GT(EditDistance(Text(crossings), kText), kText.size() / 2) << rate << " Hz";
    }
}

TEST(BaudotRobust, NothingFromNoiseAndFramesTimedFromTheirStartBit) {
    for (unsigned rate : {8000u, 11025u})
        EXPECT_TRUE(
            Receive(rate, Noise(3000, 60000, rate, rate), DETECT_BAUDOT_ROBUST).events.empty())
            << rate << " Hz";
    // E is 0 10000 11 after 150 ms of mark: its event runs from the start
    // bit to the end of the first stop bit, seven bits.
    const DetectRun run =
        Receive(8000, Concat({Silence(200, 8000), Baudot("E", 8000), Silence(100, 8000)}),
                DETECT_BAUDOT_ROBUST);
    ASSERT_EQ(run.events.size(), 1u);
    EXPECT_EQ(run.events[0].lParam, uint32_t('E'));
    EXPECT_NEAR(run.events[0].msStart, 350, 2);
    EXPECT_NEAR(run.events[0].msDuration, 7 * kBaudotBitMs, 2);
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
    EXPECT_EQ(Text(Receive(8000, s, DETECT_BAUDOT_ROBUST)), "CALL 555 1234 ,92");
    EXPECT_EQ(Text(Receive(8000, s, DETECT_BAUDOT_ROBUST | DETECT_BAUDOT_UNSHIFT_ON_SPACE)), text);
    // The convention belongs to the decoding, so the default receiver keeps it too.
    EXPECT_EQ(Text(Receive(8000, s, DETECT_BAUDOT_UNSHIFT_ON_SPACE)), text);
}
