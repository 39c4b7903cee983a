// The built program as the desktop application and a user run it: events
// printed, kept stretches copied byte for byte, usage, level tables, and
// inputs and options it refuses.
#include "sndkit/test_cli_support.h"

namespace {

using namespace cli;
using namespace siggen;

TEST(Cli, DesktopCommandLineTrimsAFileWithBlanksAndUmlautsInItsName) {
    TempDir dir;
    const std::string src = GreetingFile(dir, "Grüße an alle.wav");
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

TEST(Cli, EveryEncodingKeepsTheSourceBytesOfTheKeptStretch) {
    const struct {
        const char *name;
        int format, rate, channels;
        long msSlack; // how far a lossy codec may move the silences
    } encodings[] = {{"mulaw", SF_FORMAT_ULAW, 8000, 1, 20},
                     {"gsm", SF_FORMAT_GSM610, 8000, 1, 300},
                     {"pcm8", SF_FORMAT_PCM_U8, 8000, 1, 20},
                     {"stereo", SF_FORMAT_PCM_16, 8000, 2, 0},
                     {"pcm11025", SF_FORMAT_PCM_16, 11025, 1, 20}};
    for (const auto &e : encodings) {
        SCOPED_TRACE(e.name);
        TempDir dir;
        Samples interleaved;
        for (int16_t s : Greeting(unsigned(e.rate)))
            interleaved.insert(interleaved.end(), size_t(e.channels), s);
        const std::string src = dir / "in.wav";
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

TEST(Cli, NothingToCutGivesAnIdenticalFileAlsoForAPartialMillisecond) {
    TempDir dir;
    const std::string src = dir / "talk.wav";
    // 5000.09 ms: whole-millisecond rounding must not drop the last samples.
    ASSERT_TRUE(WriteWav16(src, Sine(300, 9000, 5000.09, 11025), 11025));
    EXPECT_EQ(RunProbe(dir, {src, kDesktopSilence, kDesktopStrip}).status, 0);
    EXPECT_TRUE(ReadBytes(dir / "tempWAVFile.wav") == ReadBytes(src));
    // Without any detector the whole audio is kept as well.
    EXPECT_EQ(RunProbe(dir, {src, "-strip:copy.wav"}).status, 0);
    EXPECT_TRUE(ReadBytes(dir / "copy.wav") == ReadBytes(src));
}

TEST(Cli, WorkedExamplesOfTheStripFlags) {
    TempDir dir;
    const std::string greeting = GreetingFile(dir, "greeting.wav"), two = dir / "two.wav";
    // A tone and a noise burst 300 ms apart.
    ASSERT_TRUE(
        WriteWav16(two,
                   Concat({Silence(1000, 8000), Sine(1000, 12000, 500, 8000), Silence(300, 8000),
                           Noise(4000, 500, 8000), Silence(2700, 8000)}),
                   8000));
    // No edge given: each cut is widened by the detector's window.
    EXPECT_EQ(RunProbe(dir, {greeting, kDesktopSilence, "-strip:edge.wav,3"}).status, 0);
    ExpectCopyOf(dir / "edge.wav", greeting, {{780 * kMs8k, 3440 * kMs8k}});
    // Extracting the leading and trailing silences themselves.
    RunProbe(dir, {greeting, kDesktopSilence, "-strip:quiet.wav,7,0"});
    ExpectCopyOf(dir / "quiet.wav", greeting, {{0, 800 * kMs8k}, {4200 * kMs8k, 800 * kMs8k}});
    // Flags 0 cut every silence; the widened stretches overlap by 200 ms.
    Result r = RunProbe(dir, {two, "-silence:-45dB,200,20", "-strip:both.wav,0,250"});
    EXPECT_EQ(Events(r.out).size(), 3u) << r.out;
    ExpectCopyOf(dir / "both.wav", two,
                 {{750 * kMs8k, 1000 * kMs8k}, {1550 * kMs8k, 1000 * kMs8k}});
    // Flag 16 reports those stretches and writes the same copy.
    r = RunProbe(dir, {two, "-silence:-45dB,200,20", "-strip:told.wav,16,250"});
    EXPECT_NE(r.out.find("sndprobe: kept msStart=750, msDuration=1000, msLength=5000\n"
                         "sndprobe: kept msStart=1550, msDuration=1000, msLength=5000\n"),
              std::string::npos)
        << r.out;
    EXPECT_TRUE(ReadBytes(dir / "told.wav") == ReadBytes(dir / "both.wav"));
    // A recording that is silence throughout keeps nothing, and says so.
    const std::string quiet = dir / "quiet-only.wav";
    ASSERT_TRUE(WriteWav16(quiet, Silence(2000, 8000), 8000));
    r = RunProbe(dir, {quiet, kDesktopSilence, "-strip:none.wav,19,0"});
    EXPECT_NE(r.out.find("sndprobe: kept msStart=0, msDuration=0, msLength=2000\n"),
              std::string::npos)
        << r.out;
}

TEST(Cli, DetectorsShareOneEventListAndTakeTheirFlagsInAnyBlockSize) {
    TempDir dir;
    const std::string keys = dir / "keys.wav", tty = dir / "tty.wav";
    ASSERT_TRUE(
        WriteWav16(keys,
                   Concat({Silence(300, 8000), Dtmf("159#", 60, 60, DbToAmplitude(-12), 8000),
                           Dtmf("26", 60, 60, DbToAmplitude(-40), 8000),
                           Sine(1000, 8000, 600, 8000), Silence(500, 8000)}),
                   8000));
    BaudotOptions opt;
    opt.unshiftOnSpace = true;
    const Samples text = Baudot("CALL 555 NOW", 11025, opt);
    const double rms = opt.amplitude / sqrt(2.0) / pow(10.0, 3 / 20.0);
    ASSERT_TRUE(WriteWav16(tty, Mix(text, Noise(rms, double(text.size()) * 1000 / 11025, 11025, 4)),
                           11025));
    // Keys print as one run of characters at trace level 1. Keys at -40 dBFS
    // are below the default detector, not the sensitive one; blocks that are
    // no whole number of windows change nothing.
    for (const char *block : {"-block:7", "-block:333"}) {
        SCOPED_TRACE(block);
        EXPECT_EQ(RunProbe(dir, {keys, "-dtmf", block}).out, "159#\n");
        EXPECT_EQ(RunProbe(dir, {keys, "-dtmf:,,,256", block}).out, "159#26\n");
        EXPECT_EQ(RunProbe(dir, {tty, "-baudot:all,,,768", block}).out, "CALL 555 NOW\n");
    }
    Result r = RunProbe(dir, {keys, "-dtmf", "-tone:1000", "-silence", "-strip:out.wav,0,0"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find(", nFrequency=1000\n"), std::string::npos) << r.out;
    // Keys and the tone are cut like silences: of 2120 ms, the 480 ms after
    // the loud keys and of the quiet ones remain; keys left in would add 240.
    EXPECT_LT(Chunks(ReadBytes(dir / "out.wav"))["data"].size(), 600u * kMs8k);
    r = RunProbe(dir, {keys, "-dtmf", "-trace:3"});
    EXPECT_NE(r.out.find(", cDTMF=#\n"), std::string::npos) << r.out;
}

TEST(CliErrors, UsageLevelTableAndTraceLevel) {
    TempDir dir;
    Result r = RunProbe(dir, {});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out.starts_with("usage: sndprobe <srcfile> [options]\n")) << r.out;
    const char kLastLine[] = "    percent     100%          0%                 \n";
    EXPECT_TRUE(r.out.ends_with(std::string(kLastLine) + "\n")) << r.out;
    // --help is the same usage; --version one line; both succeed, while a
    // bad command line keeps its failure.
    const std::string usage = r.out;
    r = RunProbe(dir, {"--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, usage);
    r = RunProbe(dir, {"--version"});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out.starts_with("sndprobe ") && r.out.ends_with("\n")) << r.out;
    r = RunProbe(dir, {"-trace:3"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find(kLastLine), std::string::npos);

    // The table needs no file, even when one is named.
    r = RunProbe(dir, {"missing.wav", "-leveltable"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.find("unable"), std::string::npos);
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 5 + 121 + 1);
    EXPECT_NE(r.out.find("\n   -40.000dB   0.010000     328     1.00%\n"), std::string::npos);
    r = RunProbe(dir, {"-leveltable:dB,-10,0,-2"});
    EXPECT_EQ(r.out, "\n\n    decibels     linear     pcm   percent\n\n"
                     "  ---------------------------------------\n"
                     "   -10.000dB   0.316228   10362    31.62%\n"
                     "    -8.000dB   0.398107   13045    39.81%\n"
                     "    -6.000dB   0.501187   16422    50.12%\n"
                     "    -4.000dB   0.630957   20675    63.10%\n"
                     "    -2.000dB   0.794328   26028    79.43%\n"
                     "     0.000dB   1.000000   32767   100.00%\n\n");

    // The trace level is stored; a refused one leaves it, and every value
    // that reads as zero is absent, so the usage is still printed.
    RunProbe(dir, {"-trace"});
    for (const char *arg : {"-trace:12", "-trace:0", "-trace:+0", "-trace:-0", "-trace: 0"}) {
        r = RunProbe(dir, {arg});
        EXPECT_NE(r.out.find("usage: "), std::string::npos) << arg << ": " << r.out;
        EXPECT_NE(ReadText(dir / "trace.ini").find("Level=5"), std::string::npos) << arg;
    }
}

TEST(CliErrors, BadInputsFailCleanlyAndLeaveNothingBehind) {
    TempDir dir;
    const std::string good = GreetingFile(dir, "good.wav");
    const auto bytes = ReadBytes(good);
    const auto write = [&](const std::string &name, const std::string &b) {
        ASSERT_TRUE(WriteText(dir / name, b));
    };
    const std::string header(bytes.begin(), bytes.begin() + 44);
    write("text.wav", "hello\n");
    // Cut off inside its format chunk: there is no audio to find.
    write("cut.wav", std::string(bytes.begin(), bytes.begin() + 30));
    // A header whose data chunk is empty.
    write("empty.wav", header.substr(0, 4) + std::string("\x24\0\0\0", 4) + header.substr(8, 32) +
                           std::string(4, '\0'));
    // Half a millisecond of audio, less than the shortest stretch analysed.
    ASSERT_TRUE(WriteWav16(dir / "short.wav", Sine(1000, 8000, 0.5, 44100), 44100));
    write("keep.wav", "old");
    fs::create_directory(dir / "folder");
    fs::create_directory(dir / "full");
    write("full/inside", {'x'});
    const auto before = dir.Names();

    const std::string events =
        "sndprobe: dwType=DETECT_SILENCE, msStart=0, msDuration=800, nThreshold=328\n"
        "sndprobe: dwType=DETECT_SILENCE, msStart=4200, msDuration=800, nThreshold=328\n";
    std::vector<std::string> seventeen{good};
    seventeen.insert(seventeen.end(), 17, "-silence");
    const struct {
        std::vector<std::string> args;
        std::string out;
    } cases[] = {
        {{"missing.wav", "-strip:keep.wav,3"}, "sndprobe: unable to open file: missing.wav\n\n"},
        {{"folder", "-strip:keep.wav"}, "sndprobe: unable to open file: folder\n\n"},
        {{"text.wav", "-strip:keep.wav"}, "sndprobe: unable to open file: text.wav\n\n"},
        {{"cut.wav", "-strip:keep.wav"}, "sndprobe: unable to open file: cut.wav\n\n"},
        {{"empty.wav", "-strip:keep.wav"}, ""},
        {{"short.wav", "-silence", "-strip:keep.wav"},
         "sndprobe: too short to analyse, under 1 ms of audio: short.wav\n\n"},
        {{good, "-silence", "-strip:gone/out.wav,3,250"},
         events + "sndprobe: unable to create file: gone/out.wav\n\n"},
        // The copy is complete but cannot take the place of a folder.
        {{good, "-silence", "-strip:full,3,250"},
         events + "sndprobe: unable to create file: full\n\n"},
        {{good, "-silence", "-block:0", "-strip:keep.wav"}, "\n"},
        {seventeen, "\n"},
        {{good, "-silence:abc", "-strip:keep.wav"}, "\n"},
        {{good, "-silence:-40dB,2x0", "-strip:keep.wav"}, "\n"},
        {{good, "-silence", "-strip:,x,y"}, "sndprobe: unable to create file: \n\n"},
        {{good, "-silence", "-strip:keep.wav,x"}, "\n"},
        {{good, "-silence", "-strip:" + std::string(600, 'a')}, "\n"},
        {{dir / std::string(600, 'b'), "-strip:keep.wav"},
         "sndprobe: unable to open file: " + dir / std::string(600, 'b') + "\n\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.args.back());
        Result r = RunProbe(dir, c.args);
        EXPECT_EQ(r.status, 1);
        if (!c.out.empty()) {
            EXPECT_EQ(r.out, c.out);
        }
        EXPECT_EQ(dir.Names(), before);
        EXPECT_TRUE(ReadBytes(dir / "keep.wav") == std::vector<uint8_t>({'o', 'l', 'd'}));
    }
}

} // namespace
