#include <gtest/gtest.h>

#include "common/siggen.h"
#include "sndprobe.h"
#include "sndkit/detect_harness.h"

using namespace siggen;

namespace {

int32_t Magnitude(const std::vector<uint8_t> &pcm, int32_t nRate, int32_t hz, int32_t cbSample) {
    HGOERTZEL h = GoertzelInit(GOERTZEL_VERSION, VmModuleHandle(), nRate, hz, int32_t(pcm.size()),
                               cbSample, 0);
    EXPECT_NE(h, nullptr);
    const int32_t m = GoertzelProcessBlock(h, pcm.data(), uint32_t(pcm.size()), 0);
    EXPECT_EQ(GoertzelTerm(h), 0);
    return m;
}

} // namespace

TEST(Goertzel, MagnitudeOfRealTones) {
    // A full-scale 697 Hz tone over 160 samples at 8000 Hz lands in bin 14 (700 Hz):
    // about 127 * 160 / 2.
    const Samples tone = Sine(697, 32767, 20, 8000);
    const int32_t m16 = Magnitude(ToPcm16(tone), 8000, 697, 2);
    const int32_t m8 = Magnitude(ToPcm8(tone), 8000, 697, 1);
    EXPECT_NEAR(m16, 127 * 160 / 2, 400);
    EXPECT_NEAR(m8, m16, 100); // both are reduced to the same 8-bit samples
    // Far from the tone, and on digital silence (the 128 offset stays in bin 0).
    EXPECT_LT(Magnitude(ToPcm16(tone), 8000, 1633, 2), m16 / 20);
    EXPECT_EQ(Magnitude(ToPcm16(Silence(20, 8000)), 8000, 697, 2), 0);
    EXPECT_NEAR(Magnitude(ToPcm16(Silence(20, 8000)), 8000, 0, 2), 128 * 160, 1);
    // A filter can be run over many blocks of its length; an empty one gives 0.
    HGOERTZEL h = GoertzelInit(GOERTZEL_VERSION, VmModuleHandle(), 8000, 697, 320, 2, 0);
    ASSERT_NE(h, nullptr);
    const auto pcm = ToPcm16(tone);
    EXPECT_EQ(GoertzelProcessBlock(h, pcm.data(), 320, 0), m16);
    EXPECT_EQ(GoertzelProcessBlock(h, pcm.data(), 320, 0), m16);
    EXPECT_EQ(GoertzelProcessBlock(h, pcm.data(), 1, 0), 0);
    EXPECT_EQ(GoertzelTerm(h), 0);
}

TEST(Goertzel, RefusalsWriteAnErrorPosition) {
    const VMHINSTANCE hi = VmModuleHandle();
    TraceCapture trace(3);
    EXPECT_EQ(GoertzelInit(0x101, hi, 8000, 697, 320, 2, 0), nullptr);
    EXPECT_EQ(GoertzelInit(GOERTZEL_VERSION, nullptr, 8000, 697, 320, 2, 0), nullptr);
    EXPECT_EQ(GoertzelInit(GOERTZEL_VERSION, hi, 8000, 697, 1, 2, 0), nullptr); // no whole sample
    EXPECT_EQ(GoertzelInit(GOERTZEL_VERSION, hi, 8000, 697, 320, 0, 0), nullptr);
    EXPECT_EQ(GoertzelInit(GOERTZEL_VERSION, hi, 0, 697, 320, 2, 0), nullptr);
    HGOERTZEL h = GoertzelInit(GOERTZEL_VERSION, hi, 8000, 697, 320, 2, 0);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(GoertzelProcessBlock(h, nullptr, 320, 0), -1);
    EXPECT_EQ(GoertzelTerm(h), 0);
    uint8_t buf[4] = {};
    EXPECT_EQ(GoertzelProcessBlock(h, buf, 4, 0), -1);
    EXPECT_EQ(GoertzelTerm(h), -1);
    EXPECT_EQ(trace.Count(L"goertzel("), 8u);
    EXPECT_EQ(trace.Count(L") : *** TracePosition\n"), 8u);
}
