#include <gtest/gtest.h>

#include "sndkit/test_cli_support.h"

namespace {

using namespace cli;
using siggen::Samples;

TEST(Cli, DesktopCommandLineTrimsAFileWithBlanksAndUmlautsInItsName) {
    TempDir dir;
    std::string src = dir / "Grüße an alle.wav";
    ASSERT_TRUE(siggen::WriteWav16(src, Greeting(8000), 8000));
    Result r = RunProbe(dir, {src, kDesktopSilence, kDesktopStrip});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out,
              "sndprobe: dwType=DETECT_SILENCE, msStart=0, msDuration=800, nThreshold=184\n"
              "sndprobe: dwType=DETECT_SILENCE, msStart=4200, msDuration=800, nThreshold=184\n"
              "\n");
    ExpectCopyOf(dir / "tempWAVFile.wav", src, {{550 * kMs8k, 3900 * kMs8k}});
    EXPECT_EQ(dir.Names(), (std::vector<std::string>{"Grüße an alle.wav", "tempWAVFile.wav"}));

    // A later run replaces the file; the destination's name may have blanks too.
    r = RunProbe(dir, {src, "/SILENCE:-45dB,300", "-strip:tempWAVFile.wav,1,0"});
    EXPECT_EQ(r.status, 0);
    ExpectCopyOf(dir / "tempWAVFile.wav", src, {{800 * kMs8k, 4200 * kMs8k}});
    r = RunProbe(dir, {src, "-silence", "-strip:ohne Stille ü.wav,2,0"});
    ExpectCopyOf(dir / "ohne Stille ü.wav", src, {{0, 4200 * kMs8k}});
}

struct Encoding {
    const char *name;
    int format, rate, channels;
    long msSlack; // how far a lossy codec may move the silences
};

TEST(Cli, EveryEncodingKeepsTheSourceBytesOfTheKeptStretch) {
    const Encoding encodings[] = {{"mulaw", SF_FORMAT_ULAW, 8000, 1, 20},
                                  {"gsm", SF_FORMAT_GSM610, 8000, 1, 300},
                                  {"pcm8", SF_FORMAT_PCM_U8, 8000, 1, 20},
                                  {"stereo", SF_FORMAT_PCM_16, 8000, 2, 0},
                                  {"pcm11025", SF_FORMAT_PCM_16, 11025, 1, 20}};
    for (const Encoding &e : encodings) {
        SCOPED_TRACE(e.name);
        TempDir dir;
        Samples mono = Greeting(unsigned(e.rate)), interleaved;
        for (int16_t s : mono)
            interleaved.insert(interleaved.end(), size_t(e.channels), s);
        std::string src = dir / "in.wav";
        ASSERT_TRUE(WriteSndfile(src, SF_FORMAT_WAV | e.format, e.rate, e.channels, interleaved));
        Result r = RunProbe(dir, {src, kDesktopSilence, kDesktopStrip});
        EXPECT_EQ(r.status, 0) << r.out;
        auto events = Events(r.out);
        ASSERT_EQ(events.size(), 2u) << r.out;
        EXPECT_EQ(events[0].start, 0);
        EXPECT_NEAR(double(events[0].duration), 800, 20);
        EXPECT_GE(events[1].start, 4200);
        EXPECT_LE(events[1].start, 4200 + e.msSlack);
        long keep = events[0].duration - 250;
        ExpectSliceOf(dir / "tempWAVFile.wav", src, keep, events[1].start + 250 - keep);
    }
}

TEST(Cli, NoiseFloorsJustUnderAndOverTheThreshold) {
    // -45 dB is the amplitude 184: a window is silent up to an RMS of 130.
    for (double rms : {110.0, 150.0}) {
        SCOPED_TRACE(rms);
        TempDir dir;
        std::string src = dir / "noisy.wav";
        ASSERT_TRUE(siggen::WriteWav16(
            src, siggen::Mix(Greeting(8000), siggen::Noise(rms, 5000, 8000)), 8000));
        Result r = RunProbe(dir, {src, kDesktopSilence, kDesktopStrip});
        EXPECT_EQ(r.status, 0);
        auto out = ReadBytes(dir / "tempWAVFile.wav");
        if (rms < 130) {
            EXPECT_EQ(Events(r.out).size(), 2u) << r.out;
            EXPECT_EQ(Chunks(out)["data"].size(), 3900u * 16);
        } else {
            // Nothing found: the copy is the source itself, byte for byte.
            EXPECT_EQ(r.out, "\n");
            EXPECT_TRUE(out == ReadBytes(src));
        }
    }
}

TEST(Cli, NothingToCutGivesAnIdenticalFileAlsoForAPartialMillisecond) {
    TempDir dir;
    std::string src = dir / "talk.wav";
    // 5000.09 ms: whole-millisecond rounding must not drop the last samples.
    ASSERT_TRUE(siggen::WriteWav16(src, siggen::Sine(300, 9000, 5000.09, 11025), 11025));
    Result r = RunProbe(dir, {src, kDesktopSilence, kDesktopStrip});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(ReadBytes(dir / "tempWAVFile.wav") == ReadBytes(src));
    // Without any detector the whole audio is kept as well.
    r = RunProbe(dir, {src, "-strip:copy.wav"});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(ReadBytes(dir / "copy.wav") == ReadBytes(src));
}

TEST(Cli, WorkedExamplesOfTheStripFlags) {
    TempDir dir;
    std::string silent = dir / "silent.wav", greeting = dir / "greeting.wav", two = dir / "two.wav";
    ASSERT_TRUE(siggen::WriteWav16(silent, siggen::Silence(5000, 8000), 8000));
    ASSERT_TRUE(siggen::WriteWav16(greeting, Greeting(8000), 8000));
    // A tone and a noise burst 300 ms apart.
    ASSERT_TRUE(siggen::WriteWav16(
        two,
        siggen::Concat({siggen::Silence(1000, 8000), siggen::Sine(1000, 12000, 500, 8000),
                        siggen::Silence(300, 8000), siggen::Noise(4000, 500, 8000),
                        siggen::Silence(2700, 8000)}),
        8000));

    Result r = RunProbe(dir, {silent, kDesktopSilence, kDesktopStrip});
    EXPECT_EQ(r.out,
              "sndprobe: dwType=DETECT_SILENCE, msStart=0, msDuration=5000, nThreshold=184\n\n");
    ExpectCopyOf(dir / "tempWAVFile.wav", silent, {{0, 500 * kMs8k}});

    // Edge -1: each cut is widened by the detector's window.
    r = RunProbe(dir, {greeting, kDesktopSilence, "-strip:edge.wav,3"});
    EXPECT_EQ(r.status, 0);
    ExpectCopyOf(dir / "edge.wav", greeting, {{780 * kMs8k, 3440 * kMs8k}});
    // Extracting the leading and trailing silences themselves.
    r = RunProbe(dir, {greeting, kDesktopSilence, "-strip:quiet.wav,7,0"});
    ExpectCopyOf(dir / "quiet.wav", greeting, {{0, 800 * kMs8k}, {4200 * kMs8k, 800 * kMs8k}});

    // Flags 0 cut every silence; the widened stretches overlap by 200 ms.
    r = RunProbe(dir, {two, "-silence:-45dB,200,20", "-strip:both.wav,0,250"});
    EXPECT_EQ(Events(r.out).size(), 3u) << r.out;
    ExpectCopyOf(dir / "both.wav", two,
                 {{750 * kMs8k, 1000 * kMs8k}, {1550 * kMs8k, 1000 * kMs8k}});
}

TEST(Cli, SeveralDetectorsShareOneEventList) {
    TempDir dir;
    std::string src = dir / "keys.wav";
    Samples keys =
        siggen::Concat({siggen::Silence(500, 8000), siggen::Dtmf("123#", 80, 80, 8000, 8000),
                        siggen::Sine(1000, 8000, 600, 8000), siggen::Silence(500, 8000)});
    ASSERT_TRUE(siggen::WriteWav16(src, keys, 8000));
    // Keys print as one run of characters at trace level 1.
    Result r = RunProbe(dir, {src, "-dtmf"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "123#\n");
    r = RunProbe(dir, {src, "-dtmf", "-tone:1000", "-silence", "-strip:out.wav,0,0"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("dwType=DETECT_TONE, msStart="), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(", nFrequency=1000\n"), std::string::npos) << r.out;
    // Keys and the tone are cut like silences: little of the file is left.
    EXPECT_LT(Chunks(ReadBytes(dir / "out.wav"))["data"].size(), 1000u * 16);
    r = RunProbe(dir, {src, "-dtmf", "-trace:3"});
    EXPECT_NE(r.out.find("dwType=DETECT_DTMF, msStart="), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(", cDTMF=#\n"), std::string::npos) << r.out;
}

} // namespace
