// The program run as a careless user or an attacker would: odd destinations,
// planted links, full disks, signals, file names in no encoding, absurd
// numbers.
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "sndkit/test_cli_support.h"

namespace {

using namespace cli;

bool IsWav(const std::string &path) {
    auto file = ReadBytes(path);
    return WellFormed(file) && std::string(file.begin() + 8, file.begin() + 12) == "WAVE";
}

TEST(CliHostile, TheDestinationMustBeAbsentARegularFileOrALink) {
    TempDir dir;
    std::string src = dir / "in.wav";
    ASSERT_TRUE(siggen::WriteWav16(src, Greeting(8000), 8000));
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
}

TEST(CliHostile, APlantedLinkAtTheOldTemporaryNameIsNeverWrittenThrough) {
    TempDir dir;
    ASSERT_TRUE(siggen::WriteWav16(dir / "in.wav", Greeting(8000), 8000));
    std::ofstream(dir / "victim") << "precious";
    // exec keeps the shell's process id, so $$ is the program's own.
    Result r = RunProbeAfter(dir, "ln -s victim .tempWAVFile.wav.$$-1.tmp &&",
                             {"in.wav", kDesktopSilence, kDesktopStrip});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(ReadBytes(dir / "victim") ==
                std::vector<uint8_t>({'p', 'r', 'e', 'c', 'i', 'o', 'u', 's'}));
    EXPECT_TRUE(IsWav(dir / "tempWAVFile.wav"));
}

TEST(CliHostile, AFullDiskOrASignalDuringTheWriteLeavesNothing) {
    TempDir dir;
    ASSERT_TRUE(siggen::WriteWav16(dir / "in.wav", Greeting(8000), 8000));
    // Once without limits, so that trace.ini exists and is not written again.
    ASSERT_EQ(RunProbe(dir, {"in.wav", "-strip:first.wav"}).status, 0);
    fs::remove(dir / "first.wav");
    const auto before = dir.Names();
    // A file size limit fails the write as a full disk does: at the header
    // (0 blocks) or in the audio (1 block of 512 bytes); without the trap
    // the limit kills the program with SIGXFSZ in the middle of the write.
    struct Case {
        const char *shell;
        int status, signal;
    } cases[] = {{"trap '' XFSZ; ulimit -f 0;", 1, 0},
                 {"trap '' XFSZ; ulimit -f 1;", 1, 0},
                 {"ulimit -f 1;", -1, SIGXFSZ}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.shell);
        Result r = RunProbeAfter(dir, c.shell, {"in.wav", kDesktopSilence, kDesktopStrip});
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.signal, c.signal);
        EXPECT_EQ(dir.Names(), before);
    }
}

TEST(CliHostile, TerminatingSignalsDuringTheWriteLeaveNothing) {
    if (system("strace -o /dev/null true >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "strace cannot run here";
    TempDir dir;
    ASSERT_TRUE(siggen::WriteWav16(dir / "in.wav", Greeting(8000), 8000));
    ASSERT_EQ(RunProbe(dir, {"in.wav", "-strip:first.wav"}).status, 0);
    fs::remove(dir / "first.wav");
    const auto before = dir.Names();
    // strace sends the signal as the kept audio is being copied.
    for (const char *sig : {"SIGTERM", "SIGINT", "SIGHUP"}) {
        SCOPED_TRACE(sig);
        Result r = RunProbeAfter(dir, "", {"in.wav", kDesktopSilence, kDesktopStrip},
                                 std::string("strace -o /dev/null -e trace=copy_file_range "
                                             "-e inject=copy_file_range:signal=") +
                                     sig);
        EXPECT_NE(r.status, 0);
        EXPECT_EQ(dir.Names(), before);
    }
}

TEST(CliHostile, FileNamesReachTheFileSystemWithTheirOwnBytes) {
    for (const char *locale : {"C", "C.UTF-8", "xx_XX.nowhere"}) {
        SCOPED_TRACE(locale);
        TempDir dir;
        // Not UTF-8, and UTF-8 followed by a stray byte.
        const std::string src = "\xff.wav", dst = "o\xff-\xc3\xbc\xe9.wav";
        ASSERT_TRUE(siggen::WriteWav16(dir / src, Greeting(8000), 8000));
        Result r = RunProbeAfter(dir, std::string("export LC_ALL=") + locale + ";",
                                 {src, kDesktopSilence, "-strip:" + dst + ",3,250"});
        EXPECT_EQ(r.status, 0) << r.out;
        EXPECT_EQ(dir.Names(), (std::vector<std::string>{dst, src}));
        ExpectCopyOf(dir / dst, dir / src, {{550 * kMs8k, 3900 * kMs8k}});
    }
}

TEST(CliHostile, LevelTablesThatCannotBePrintedFail) {
    TempDir dir;
    // One row too wide for its buffer: an error position, no row, no read
    // past the buffer.
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
}

TEST(CliHostile, ToneFrequenciesOutsideTheBandAreRefused) {
    TempDir dir;
    std::string src = dir / "quiet.wav";
    ASSERT_TRUE(siggen::WriteWav16(src, siggen::Silence(3000, 8000), 8000));
    for (const char *tone : {"-tone:0", "-tone:-2147483648", "-tone:2147483647", "-tone:4000"}) {
        SCOPED_TRACE(tone);
        Result r = RunProbe(dir, {src, tone, "-trace:3"});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out.find("DETECT_TONE"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("detect("), std::string::npos) << r.out;
    }
    EXPECT_EQ(RunProbe(dir, {src, "-tone:3999"}).status, 0);
}

} // namespace
