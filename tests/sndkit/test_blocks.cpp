// What a detector reports must not depend on how its caller cuts the audio
// into blocks.
#include <gtest/gtest.h>

#include "common/siggen.h"
#include "sndkit/detect_harness.h"
#include "sndkit/wavtime.h"

using namespace siggen;

namespace {

// Something for every kind: silences, a 440 Hz tone, keys and TTY text.
Samples Mixed(unsigned rate) {
    return Concat({Silence(300, rate), Sine(440, 8000, 400, rate), Silence(250, rate),
                   Dtmf("159#", 60, 60, DbToAmplitude(-12), rate), Silence(200, rate),
                   Baudot("RYRY 12", rate), Silence(130, rate)});
}

} // namespace

TEST(DetectBlocks, EventsDoNotDependOnTheBlockSize) {
    for (unsigned rate : {8000u, 11025u}) {
        const WAVEFORMATEX wfx = PcmFormat(rate);
        const std::vector<uint8_t> pcm = ToPcm16(Mixed(rate));
        const int32_t cbMs7 = WavFormatMsToBytes(&wfx, 7, +1);
        const int32_t cbMs50 = WavFormatMsToBytes(&wfx, 50, +1);
        const int32_t cbSecond = WavFormatMsToBytes(&wfx, 1000, +1);
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
            for (int32_t cbBlock : {1, 3, cbMs7, cbMs50, 333, cbSecond, 4093}) {
                const DetectRun run = RunDetector(wfx, dwType, DETECT_DEFAULT, pcm, cbBlock,
                                                  DETECT_DEFAULT, DETECT_DEFAULT, dwFlags);
                EXPECT_EQ(run.nResult, 0);
                EXPECT_EQ(run.events, whole.events) << rate << " Hz, kind " << dwType << ", flags "
                                                    << dwFlags << ", blocks of " << cbBlock;
            }
        }
    }
}

TEST(DetectBlocks, AWindowLongerThanItsBlocks) {
    // 500 ms windows over 20 ms blocks: nothing is analysed before a whole
    // window has arrived, and the end of the data closes the last 100 ms.
    const DetectRun run = RunDetector(PcmFormat(8000), DETECT_SILENCE, DETECT_DEFAULT,
                                      ToPcm16(Silence(1100, 8000)), 320, DETECT_DEFAULT, 500);
    EXPECT_EQ(run.nBeforeEnd, 0u);
    EXPECT_EQ(run.events, (std::vector<DetectEvent>{{DETECT_SILENCE, 0, 1100, 500, 0xFFFFFFFFu}}));
}
