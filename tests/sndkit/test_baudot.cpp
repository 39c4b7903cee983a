#include <gtest/gtest.h>

#include "common/siggen.h"
#include "sndkit/detect_internal.h"
#include "sndkit/detect_harness.h"

using namespace siggen;

namespace {

// The decoded text without the shift characters.
std::string Text(const DetectRun &run) {
    std::string s;
    for (const DetectEvent &e : run.events)
        if (e.lParam != DETECT_BAUDOT_FIGURES && e.lParam != DETECT_BAUDOT_LETTERS)
            s += char(e.lParam);
    return s;
}

std::string RoundTrip(const std::string &text, unsigned rate, double stopBits, double msGap,
                      int32_t msBlock, double msLead = 150) {
    BaudotOptions opt;
    opt.stopBits = stopBits;
    opt.msCharGap = msGap;
    opt.msLeadMark = msLead;
    const WAVEFORMATEX wfx = PcmFormat(rate);
    const Samples s = Concat({Silence(200, rate), Baudot(text, rate, opt), Silence(203, rate)});
    const DetectRun run = RunDetector(wfx, DETECT_BAUDOT, 0, ToPcm16(s),
                                      int32_t(int64_t(wfx.nAvgBytesPerSec) * msBlock / 1000));
    EXPECT_EQ(run.nResult, 0);
    return Text(run);
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
            DetectBaudotDecode(h, *p == '1' ? BAUDOT_MARK : BAUDOT_SPACE, 22);
    }
    std::string Chars() const {
        std::string s;
        for (const DetectEvent &e : log.events)
            s += char(e.lParam);
        return s;
    }
};

} // namespace

TEST(Baudot, TextRoundTripsThroughTheDetector) {
    const std::string text = "RYRY 0123456789 THE QUICK BROWN FOX, JUMPS?\r\n";
    // 1000 ms blocks at 8000 Hz hold whole 5 ms windows.
    EXPECT_EQ(RoundTrip(text, 8000, 2, 0, 1000), text);
    EXPECT_EQ(RoundTrip(text, 8000, 2, 0, 1000, 173), text);
    // At 11025 Hz a window is 55 samples (4.99 ms); 2200 ms blocks hold
    // whole windows, so no run is cut by a short tail window.
    EXPECT_EQ(RoundTrip(text, 11025, 2, 0, 2200), text);
    EXPECT_EQ(RoundTrip(text, 11025, 2, 0, 2200, 161), text);
    // 1.5 stop bits followed by idle mark before the next character.
    EXPECT_EQ(RoundTrip(text, 8000, 1.5, 22, 1000), text);
    EXPECT_EQ(RoundTrip(text, 8000, 1.5, 11, 1000), text);
    EXPECT_EQ(RoundTrip(text, 11025, 1.5, 22, 2200), text);
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
    const WAVEFORMATEX wfx = PcmFormat(8000);
    Samples s = Baudot("E", 8000);
    s.resize((s.size() / 20 + 1) * 20 + 4, 0); // whole 5 ms windows and 0.5 ms
    const DetectRun run = RunDetector(wfx, DETECT_BAUDOT, 0, ToPcm16(s));
    EXPECT_EQ(run.nResult, 0);
    EXPECT_EQ(Text(run), "E");
}

TEST(Baudot, FramesShiftsAndResynchronisation) {
    {
        // 0 (start), 10000 (code 16), 11 (stop): E in letters, 3 in figures.
        Decoder d;
        d.Bits("01000011");
        d.Bits("01101111"); // figures shift, reported as 27
        d.Bits("01000011");
        d.Bits("01000011"); // the shift holds
        d.Bits("01111111"); // letters
        d.Bits("01000011");
        EXPECT_EQ(d.Chars(), std::string("E\x1b"
                                         "33\x1f"
                                         "E"));
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
    {
        // Runs are cut into 22 ms bits, rounded: 10 ms is no bit, 11 ms one, 33 ms two.
        Decoder d;
        TraceCapture trace(5);
        DetectBaudotDecode(d.h, BAUDOT_MARK, 10);
        DetectBaudotDecode(d.h, BAUDOT_MARK, 11);
        DetectBaudotDecode(d.h, BAUDOT_MARK, 33);
        EXPECT_TRUE(trace.Has(L"sndprobe: tone=1400 Hz, duration=10 ms, cBits=0\n"));
        EXPECT_TRUE(trace.Has(L"sndprobe: tone=1400 Hz, duration=11 ms, cBits=1\n"));
        EXPECT_TRUE(trace.Has(L"sndprobe: tone=1400 Hz, duration=33 ms, cBits=2\n"));
        // After those three mark bits, 5 space bits and 3 mark bits line up
        // as the frame 0 00001 11 (code 1, T) only at the last bit.
        DetectBaudotDecode(d.h, BAUDOT_SPACE, 110);
        DetectBaudotDecode(d.h, BAUDOT_MARK, 66);
        EXPECT_TRUE(trace.Has(L"sndprobe: 0x07 (00000111)\n"));
        EXPECT_EQ(d.Chars(), "T");
    }
}
