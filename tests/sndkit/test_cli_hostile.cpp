// The program run on files as servers really leave them (wrong sizes and
// byte rates, recordings cut off at hang-up) and as a careless user or an
// attacker would run it: odd destinations, planted links, full disks,
// signals, file names in no encoding, absurd numbers.
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include "sndkit/test_cli_support.h"

namespace {

using namespace cli;

bool IsWav(const std::string &path) {
    auto file = ReadBytes(path);
    return WellFormed(file) && std::string(file.begin() + 8, file.begin() + 12) == "WAVE";
}

TEST(CliDamaged, CutsComeFromTheAudioNotFromTheClaimedByteRate) {
    TempDir dir;
    const std::string pcm = GreetingFile(dir, "pcm.wav"), gsm = dir / "gsm.wav";
    ASSERT_TRUE(WriteSndfile(gsm, SF_FORMAT_WAV | SF_FORMAT_GSM610, 8000, 1, Greeting(8000)));
    // 16-bit 8 kHz mono moves 16000 bytes a second whatever the header says.
    // A block codec's rate cannot be worked out from the other fields: a
    // header that does not give it is refused, never trimmed at a guess.
    const std::pair<std::string, uint32_t> cases[] = {{gsm, 0}, {gsm, 3250},  {gsm, 1626},
                                                      {pcm, 0}, {pcm, 16001}, {pcm, 8000}};
    for (const auto &[src, avg] : cases) {
        SCOPED_TRACE(src + " " + std::to_string(avg));
        auto bytes = ReadBytes(src);
        SetLe32(bytes, 28, avg);
        WriteBytes(src, bytes);
        Result r = RunProbe(dir, {src, kDesktopSilence, kDesktopStrip});
        if (src == gsm) {
            EXPECT_EQ(r.status, 1);
            EXPECT_EQ(r.out, "sndprobe: unable to open file: " + gsm + "\n\n");
            EXPECT_EQ(dir.Names(), (std::vector<std::string>{"gsm.wav", "pcm.wav"}));
        } else {
            EXPECT_EQ(r.status, 0);
            ExpectCopyOf(dir / "tempWAVFile.wav", src, {{550 * kMs8k, 3900 * kMs8k}});
        }
    }
}

TEST(CliDamaged, RecordingsWithWrongSizesOrCutOffAtHangUpTrimWithACorrectHeader) {
    TempDir dir;
    const auto bytes = ReadBytes(GreetingFile(dir, "good.wav"));
    ASSERT_EQ(bytes.size(), 44u + 80000);
    const std::vector<uint8_t> fmt(bytes.begin() + 20, bytes.begin() + 36);
    const auto audio = [&](size_t from, size_t count) {
        return std::vector<uint8_t>(bytes.begin() + long(44 + from),
                                    bytes.begin() + long(44 + from + count));
    };
    const struct {
        const char *what;
        uint32_t riff, data;
        size_t cbFile;
        std::vector<uint8_t> kept; // expected audio of the trimmed copy
    } cases[] = {
        {"RIFF size 0", 0, 80000, bytes.size(), audio(550 * 16, 3900 * 16)},
        {"sizes never updated", 36, 0xFFFFFFFFu, bytes.size(), audio(550 * 16, 3900 * 16)},
        // Cut inside the tone, mid-sample: whole samples up to the cut are
        // kept, as no trailing silence remains.
        {"hang-up at an odd byte", 80036, 80000, 44 + 60001, audio(550 * 16, 60000 - 550 * 16)},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> v(bytes.begin(), bytes.begin() + long(c.cbFile));
        SetLe32(v, 4, c.riff);
        SetLe32(v, 40, c.data);
        WriteBytes(dir / "damaged.wav", v);
        Result r = RunProbe(dir, {"damaged.wav", kDesktopSilence, kDesktopStrip});
        EXPECT_EQ(r.status, 0) << r.out;
        ExpectWav(dir / "tempWAVFile.wav", fmt, c.kept);
    }

    // Stereo cut inside a frame, and GSM cut inside a block: rounded down to
    // whole blocks, which the copy then holds whole.
    siggen::Samples stereo;
    for (int16_t s : Greeting(8000))
        stereo.insert(stereo.end(), 2, s);
    ASSERT_TRUE(
        WriteSndfile(dir / "stereo.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 8000, 2, stereo));
    ASSERT_TRUE(
        WriteSndfile(dir / "gsm.wav", SF_FORMAT_WAV | SF_FORMAT_GSM610, 8000, 1, Greeting(8000)));
    for (auto [name, align] : {std::pair<std::string, size_t>{"stereo.wav", 4}, {"gsm.wav", 65}}) {
        SCOPED_TRACE(name);
        auto v = ReadBytes(dir / name);
        const size_t cbData = Chunks(v)["data"].size(), offData = v.size() - cbData;
        v.resize(offData + cbData / 2 + align / 2 + 1);
        WriteBytes(dir / "cut.wav", v);
        Result r = RunProbe(dir, {"cut.wav", kDesktopSilence, "-strip:out.wav,0,0"});
        EXPECT_EQ(r.status, 0) << r.out;
        auto out = ReadBytes(dir / "out.wav");
        EXPECT_TRUE(WellFormed(out));
        auto chunks = Chunks(out);
        EXPECT_EQ(chunks["data"].size() % align, 0u);
        EXPECT_GT(chunks["data"].size(), 0u);
        // The fact chunk counts the samples of the whole blocks kept.
        if (align == 65) {
            ASSERT_EQ(chunks["fact"].size(), 4u);
            EXPECT_EQ(Le32(chunks["fact"], 0), chunks["data"].size() / 65 * 320);
        }
    }
}

TEST(CliHostile, TheDestinationMustBeAbsentARegularFileOrALink) {
    TempDir dir;
    const std::string src = GreetingFile(dir, "in.wav");
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
    const bool root = mknod((dir / "full").c_str(), S_IFCHR | 0600, makedev(1, 7)) == 0;
    for (std::string name : {"fifo", "full"}) {
        if (name == "full" && !root)
            continue;
        SCOPED_TRACE(name);
        Result r = RunProbe(dir, {src, kDesktopSilence, "-strip:" + name + ",3,250"});
        EXPECT_EQ(r.status, 1);
        EXPECT_TRUE(r.out.ends_with("sndprobe: unable to create file: " + name + "\n\n")) << r.out;
        struct stat st;
        ASSERT_EQ(lstat((dir / name).c_str(), &st), 0);
        EXPECT_FALSE(S_ISREG(st.st_mode));
    }
    // A link is replaced, never followed.
    std::ofstream(dir / "target") << "old";
    fs::create_symlink("target", dir / "link.wav");
    Result r = RunProbe(dir, {src, kDesktopSilence, "-strip:link.wav,3,250"});
    EXPECT_EQ(r.status, 0);
    EXPECT_FALSE(fs::is_symlink(dir / "link.wav"));
    EXPECT_TRUE(IsWav(dir / "link.wav"));
    EXPECT_TRUE(ReadBytes(dir / "target") == std::vector<uint8_t>({'o', 'l', 'd'}));

    // Nor is a link planted at the old temporary name written through; exec
    // keeps the shell's process id, so $$ is the program's own.
    std::ofstream(dir / "victim") << "precious";
    r = RunProbeAfter(dir, "ln -s victim .tempWAVFile.wav.$$-1.tmp &&",
                      {"in.wav", kDesktopSilence, kDesktopStrip});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(ReadBytes(dir / "victim") ==
                std::vector<uint8_t>({'p', 'r', 'e', 'c', 'i', 'o', 'u', 's'}));
    EXPECT_TRUE(IsWav(dir / "tempWAVFile.wav"));
}

TEST(CliHostile, AFullDiskOrASignalDuringTheWriteLeavesNothing) {
    TempDir dir;
    GreetingFile(dir, "in.wav");
    // Once without limits, so that trace.ini exists and is not written again.
    ASSERT_EQ(RunProbe(dir, {"in.wav", "-strip:first.wav"}).status, 0);
    fs::remove(dir / "first.wav");
    const auto before = dir.Names();
    // A file size limit fails the write as a full disk does: at the header
    // (0 blocks) or in the audio (1 block of 512 bytes); without the trap
    // the limit kills the program with SIGXFSZ in the middle of the write.
    // strace sends the other signals as the kept audio is being copied.
    const bool strace = system("strace -o /dev/null true >/dev/null 2>&1") == 0;
    const std::string inject = "strace -o /dev/null -e trace=copy_file_range "
                               "-e inject=copy_file_range:signal=";
    const struct {
        std::string shell, wrapper;
        int status, signal;
    } cases[] = {{"trap '' XFSZ; ulimit -f 0;", "", 1, 0}, {"trap '' XFSZ; ulimit -f 1;", "", 1, 0},
                 {"ulimit -f 1;", "", -1, SIGXFSZ},        {"", inject + "SIGTERM", -2, 0},
                 {"", inject + "SIGINT", -2, 0},           {"", inject + "SIGHUP", -2, 0}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.shell + c.wrapper);
        if (!c.wrapper.empty() && !strace)
            continue; // strace cannot run here
        Result r =
            RunProbeAfter(dir, c.shell, {"in.wav", kDesktopSilence, kDesktopStrip}, c.wrapper);
        if (c.status == -2) {
            EXPECT_NE(r.status, 0);
        } else {
            EXPECT_EQ(r.status, c.status);
            EXPECT_EQ(r.signal, c.signal);
        }
        EXPECT_EQ(dir.Names(), before);
    }
    if (!strace)
        GTEST_SKIP() << "strace cannot run here: the signal cases did not run";
}

TEST(CliHostile, FileNamesReachTheFileSystemWithTheirOwnBytes) {
    for (const char *locale : {"C", "C.UTF-8", "xx_XX.nowhere"}) {
        SCOPED_TRACE(locale);
        TempDir dir;
        // Not UTF-8, and UTF-8 followed by a stray byte.
        const std::string src = "\xff.wav", dst = "o\xff-\xc3\xbc\xe9.wav";
        GreetingFile(dir, src);
        Result r = RunProbeAfter(dir, std::string("export LC_ALL=") + locale + ";",
                                 {src, kDesktopSilence, "-strip:" + dst + ",3,250"});
        EXPECT_EQ(r.status, 0) << r.out;
        EXPECT_EQ(dir.Names(), (std::vector<std::string>{dst, src}));
        ExpectCopyOf(dir / dst, dir / src, {{550 * kMs8k, 3900 * kMs8k}});
    }
}

TEST(CliHostile, AbsurdNumbersAreRefused) {
    TempDir dir;
    // One level table row too wide for its buffer: an error position, no
    // row, no read past the buffer.
    Result r = RunProbe(dir, {"-leveltable:linear,-1e300,-1e300,1e300", "-trace:3"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("sndprobe(301) : *** TracePosition\n"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("dB "), std::string::npos) << "no row";
    // At most 100,000 rows. The others are refused before the first one:
    // one past the limit, 10^18, and a step lost in the start's rounding.
    r = RunProbe(dir, {"-leveltable:pcm,1,100000,1"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 5 + 100000 + 1);
    for (const char *table : {"-leveltable:pcm,0,100000,1", "-leveltable:dB,0,-1e12,-1e-6",
                              "-leveltable:linear,-1e300,-1e300,1"}) {
        SCOPED_TRACE(table);
        r = RunProbeAfter(dir, "ulimit -t 2;", {table, "-trace:3"});
        EXPECT_EQ(r.status, 1);
        EXPECT_TRUE(r.out == "sndprobe(302) : *** TracePosition\n"
                             "sndprobe(24) : *** TracePosition\n\n")
            << r.out.substr(0, 300);
    }

    // Tone frequencies outside the band.
    const std::string src = dir / "quiet.wav";
    ASSERT_TRUE(siggen::WriteWav16(src, siggen::Silence(3000, 8000), 8000));
    for (const char *tone : {"-tone:0", "-tone:-2147483648", "-tone:2147483647", "-tone:4000"}) {
        SCOPED_TRACE(tone);
        r = RunProbe(dir, {src, tone, "-trace:3"});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out.find("DETECT_TONE"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("detect("), std::string::npos) << r.out;
    }
    EXPECT_EQ(RunProbe(dir, {src, "-tone:3999"}).status, 0);
}

} // namespace
